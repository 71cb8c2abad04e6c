#include "signcheck/check_report.h"

#include <algorithm>

#include "signcheck/cache_record_state.h"
#include "signcheck/json_writer.h"
#include "signer/trust_result_text.h"
#include "signcheck/verdict_text.h"

using platform::SignatureVerdict;

namespace {

const wchar_t* AcceptsKey(OwnPublisherAccepts accepts) {
  switch (accepts) {
    case OwnPublisherAccepts::Nothing: return L"nothing";
    case OwnPublisherAccepts::ItsPublisher: return L"itsPublisher";
    case OwnPublisherAccepts::EveryFile: return L"everyFile";
  }
  return L"nothing";
}

const wchar_t* SourceKey(SignatureSource source) {
  switch (source) {
    case SignatureSource::None: return L"none";
    case SignatureSource::Embedded: return L"embedded";
    case SignatureSource::Catalog: return L"catalog";
    case SignatureSource::NotAnImage: return L"notAnImage";
  }
  return L"none";
}

const wchar_t* ChainOriginKey(ChainOrigin origin) {
  switch (origin) {
    case ChainOrigin::None: return L"none";
    case ChainOrigin::TrustProvider: return L"trustProvider";
    case ChainOrigin::Signature: return L"signature";
  }
  return L"none";
}

// Zero stands for a time that is not known.
std::wstring TimeText(uint64_t fileTime) { return fileTime == 0 ? std::wstring() : IsoUtcTime(fileTime); }

std::wstring TrustResultLine(const SignatureExamination& examination) {
  if (!examination.trustFunctionsBound) return L"not available (the trust functions could not be bound)";
  const std::wstring name = TrustResultName(examination.trustResult);
  return TrustResultCode(examination.trustResult) + (name.empty() ? L"" : L" " + name);
}

std::wstring SignatureLine(const SignatureExamination& examination) {
  switch (examination.source) {
    case SignatureSource::Embedded: return L"embedded";
    case SignatureSource::Catalog: return L"catalog " + examination.catalogFile;
    case SignatureSource::NotAnImage: return L"none (not a PE image)";
    case SignatureSource::None: break;
  }
  return examination.trustFunctionsBound ? L"none (not embedded, and no catalog lists the file)" : L"-";
}

// A signature without a timestamp is worth less than it looks, as the
// system's own signature tools warn: the launchers accept it when its
// certificate has expired, but Windows does not.
std::wstring SigningTimeLine(const SignatureExamination& examination) {
  if (examination.signingTime != 0) {
    return TimeText(examination.signingTime) + L" (timestamp countersignature" +
           (examination.timestampSigner.empty() ? L")" : L" by " + examination.timestampSigner + L")");
  }
  const bool isSigned =
      examination.source == SignatureSource::Embedded || examination.source == SignatureSource::Catalog;
  return isSigned ? L"- (no timestamp; warning: Windows counts the signature only while its certificate is valid)"
                  : L"- (no timestamp)";
}

// One signature of check --all: its digest and signer, and its timestamp.
std::wstring SignatureText(size_t number, const SignatureExamination::Signature& signature) {
  std::wstring text = L"    " + std::to_wstring(number) + L" " + signature.digest + L" by " +
                      (signature.signer.empty() ? L"an unknown signer" : signature.signer) +
                      (signature.nested ? L" (nested)" : L"") + L"\r\n      timestamp: ";
  if (signature.signingTime == 0) return text + L"none\r\n";
  return text + TimeText(signature.signingTime) +
         (signature.timestampSigner.empty() ? L"" : L" by " + signature.timestampSigner) + L"\r\n";
}

std::wstring ChainLine(const SignatureExamination& examination) {
  const size_t count = examination.chain.size();
  const std::wstring certificates = std::to_wstring(count) + (count == 1 ? L" certificate" : L" certificates");
  switch (examination.chainOrigin) {
    case ChainOrigin::TrustProvider: return certificates + L", as the trust provider built it";
    case ChainOrigin::Signature:
      return certificates + L", read from the signature itself: the trust provider named no signer, so they are "
                            L"not verified";
    case ChainOrigin::None: break;
  }
  return L"none";
}

std::wstring CertificateText(size_t number, const CertificateFacts& certificate) {
  const std::wstring first = L"    " + std::to_wstring(number) + L" ";
  const std::wstring indent(first.size(), L' ');
  return first + L"subject: " + OrDash(certificate.subject) + L"\r\n" +
         indent + L"issuer:  " + OrDash(certificate.issuer) + L"\r\n" +
         indent + L"serial:  " + OrDash(certificate.serial) + L"\r\n" +
         indent + L"sha1:    " + OrDash(certificate.sha1) + L"\r\n" +
         indent + L"sha256:  " + OrDash(certificate.sha256) + L"\r\n" +
         indent + L"valid:   " + OrDash(TimeText(certificate.validFrom)) + L" to " +
         OrDash(TimeText(certificate.validTo)) + L"\r\n";
}

std::wstring FileText(const CheckedFile& file) {
  std::wstring text = L"\r\n" + file.path + L"\r\n";
  if (!file.missing.empty()) return text + Field(L"missing:", file.missing);
  text += DecisionFields(file.decision);
  if (file.staleVerdict) {
    text += Field(L"stale:", L"the cache said " + VerdictText(*file.staleVerdict) +
                                 L" for this size and these times; the file has changed since");
  }

  const SignatureExamination& examination = file.examination;
  text += Field(L"result:", TrustResultLine(examination));
  if (examination.trustFunctionsBound) text += Field(L"meaning:", TrustResultText(examination.trustResult));
  text += Field(L"signature:", SignatureLine(examination));
  text += Field(L"signed at:", SigningTimeLine(examination));
  const FileFacts& facts = file.facts;
  text += Field(L"sha256:", facts.read ? facts.sha256 : L"- (the file could not be read)");
  text += Field(L"size:", facts.read ? std::to_wstring(facts.size) + L" bytes" : L"-");
  text += Field(L"version:", OrDash(facts.version));
  text += Field(L"chain:", ChainLine(examination));
  for (size_t i = 0; i < examination.chain.size(); ++i) text += CertificateText(i + 1, examination.chain[i]);
  if (!examination.signatures.empty()) {
    text += Field(L"signatures:", std::to_wstring(examination.signatures.size()) + L", the first one's checked");
    for (size_t i = 0; i < examination.signatures.size(); ++i) {
      text += SignatureText(i + 1, examination.signatures[i]);
    }
  }
  return text;
}

void JsonExamination(JsonWriter& json, const SignatureExamination& examination) {
  json.Key(L"trustResult");
  if (examination.trustFunctionsBound) {
    json.BeginObject();
    json.StringMember(L"code", TrustResultCode(examination.trustResult));
    json.NumberMember(L"value", static_cast<int64_t>(static_cast<DWORD>(examination.trustResult)));
    NullableString(json, L"name", TrustResultName(examination.trustResult));
    json.StringMember(L"text", TrustResultText(examination.trustResult));
    json.EndObject();
  } else {
    json.Null();
  }
  json.StringMember(L"signature", SourceKey(examination.source));
  NullableString(json, L"catalogFile", examination.catalogFile);
  NullableString(json, L"signingTime", TimeText(examination.signingTime));
  NullableString(json, L"timestampSigner", examination.timestampSigner);
  json.Key(L"signatures");
  if (examination.signatures.empty()) {
    json.Null();
  } else {
    json.BeginArray();
    for (const SignatureExamination::Signature& signature : examination.signatures) {
      json.BeginObject();
      NullableString(json, L"signer", signature.signer);
      json.StringMember(L"digest", signature.digest);
      NullableString(json, L"signingTime", TimeText(signature.signingTime));
      NullableString(json, L"timestampSigner", signature.timestampSigner);
      json.BoolMember(L"nested", signature.nested);
      json.EndObject();
    }
    json.EndArray();
  }
  json.StringMember(L"chainOrigin", ChainOriginKey(examination.chainOrigin));
  json.Key(L"chain");
  json.BeginArray();
  for (const CertificateFacts& certificate : examination.chain) {
    json.BeginObject();
    json.StringMember(L"subject", certificate.subject);
    json.StringMember(L"issuer", certificate.issuer);
    json.StringMember(L"serial", certificate.serial);
    json.StringMember(L"sha1", certificate.sha1);
    json.StringMember(L"sha256", certificate.sha256);
    NullableString(json, L"validFrom", TimeText(certificate.validFrom));
    NullableString(json, L"validTo", TimeText(certificate.validTo));
    json.EndObject();
  }
  json.EndArray();
}

void JsonFile(JsonWriter& json, const CheckedFile& file) {
  json.BeginObject();
  json.StringMember(L"path", file.path);
  json.BoolMember(L"missing", !file.missing.empty());
  if (!file.missing.empty()) {
    json.StringMember(L"problem", file.missing);
    json.StringMember(L"decision", L"missing");
    json.EndObject();
    return;
  }
  JsonDecision(json, file.decision);
  NullableString(json, L"staleCachedVerdict", file.staleVerdict ? VerdictText(*file.staleVerdict) : L"");
  JsonExamination(json, file.examination);
  NullableString(json, L"sha256", file.facts.read ? file.facts.sha256 : L"");
  json.Key(L"size");
  if (file.facts.read) json.Number(static_cast<int64_t>(file.facts.size)); else json.Null();
  NullableString(json, L"fileVersion", file.facts.version);
  json.EndObject();
}

// How the files of a check fared, for the closing line.
struct Tally {
  int64_t trusted = 0;
  int64_t refused = 0;
  int64_t missing = 0;
};

Tally TallyOf(const CheckReport& report) {
  Tally tally;
  for (const CheckedFile& file : report.files) {
    ++(!file.missing.empty() ? tally.missing : file.decision.trusted ? tally.trusted : tally.refused);
  }
  return tally;
}

}  // namespace

std::wstring RuleText(const TrustDecision& decision) {
  std::wstring text = TrustRuleText(decision.rule);
  if (decision.rule == TrustRule::AllowedPublisher) text += L" (row " + std::to_wstring(decision.allowedRow) + L")";
  return text;
}

std::wstring OrDash(const std::wstring& text) { return text.empty() ? L"-" : text; }

// Values start in one column, where the verdict and decision lines have
// always had them.
constexpr size_t kValueColumn = 13;

std::wstring Field(const wchar_t* label, const std::wstring& value) {
  std::wstring line = L"  ";
  line += label;
  line.resize(std::max(kValueColumn, line.size() + 1), L' ');
  return line + value + L"\r\n";
}

std::wstring DecisionFields(const TrustDecision& decision) {
  // Scripts read these lines: their wording stays as it is.
  return Field(L"verdict:", VerdictText(decision.verdict)) + Field(L"signer:", OrDash(decision.signer)) +
         Field(L"decision:", decision.trusted ? L"trusted" : L"refused") + Field(L"rule:", RuleText(decision)) +
         Field(L"cached:", decision.fromCache ? L"yes" : L"no");
}

void JsonDecision(JsonWriter& json, const TrustDecision& decision) {
  json.StringMember(L"verdict", VerdictText(decision.verdict));
  json.StringMember(L"signer", decision.signer);
  json.StringMember(L"decision", decision.trusted ? L"trusted" : L"refused");
  json.StringMember(L"rule", TrustRuleKey(decision.rule));
  json.Key(L"allowedRow");
  if (decision.rule == TrustRule::AllowedPublisher) json.Number(decision.allowedRow); else json.Null();
  json.BoolMember(L"fromCache", decision.fromCache);
}

void NullableString(JsonWriter& json, const wchar_t* name, const std::wstring& value) {
  json.Key(name);
  if (value.empty()) json.Null(); else json.String(value);
}

void JsonReference(JsonWriter& json, const Reference& reference) {
  json.Key(L"reference");
  if (reference.path.empty()) {
    json.Null();
    return;
  }
  json.BeginObject();
  json.StringMember(L"path", reference.path);
  json.StringMember(L"source", reference.installed ? L"installed" : L"--launcher");
  json.BoolMember(L"missing", reference.missing);
  json.StringMember(L"verdict", VerdictText(reference.verdict));
  json.StringMember(L"signer", reference.signer);
  json.StringMember(L"accepts", AcceptsKey(WhatReferenceAccepts(reference)));
  json.EndObject();
}

OwnPublisherAccepts WhatReferenceAccepts(const Reference& reference) {
  if (reference.path.empty() || reference.missing) return OwnPublisherAccepts::Nothing;
  return WhatOwnPublisherAccepts(reference.verdict, reference.signer);
}

std::wstring ReferenceText(const Reference& reference) {
  const std::wstring heading = L"own-publisher rule: ";
  if (reference.path.empty()) {
    return heading + L"off (no --launcher, and no installed " + reference.installedName + L")";
  }
  if (reference.missing) return heading + L"off (no such launcher file: " + reference.path + L")";
  const std::wstring launcher = (reference.installed ? L"installed launcher " : L"launcher ") + reference.path;
  const std::wstring verdict = VerdictText(reference.verdict);
  switch (WhatReferenceAccepts(reference)) {
    case OwnPublisherAccepts::EveryFile:
      return heading + launcher + L" is not signed (" + verdict +
             L"): like that launcher, a development build, every file is accepted";
    case OwnPublisherAccepts::ItsPublisher:
      return heading + reference.signer + L", the publisher of " + launcher + L" (" + verdict + L")";
    case OwnPublisherAccepts::Nothing: break;
  }
  const std::wstring signer = reference.signer.empty() ? L"no readable signer" : L"signer " + reference.signer;
  return heading + launcher + L" fails its own check (" + verdict + L", " + signer +
         L"): like that launcher, this rule accepts no file";
}

std::wstring CheckText(const CheckReport& report) {
  std::wstring text = ReferenceText(report.reference) + L"\r\n";
  if (report.fresh) {
    text += L"cache file: not used (--fresh: every file checked afresh, nothing read from or written to the cache)";
  } else {
    text += L"cache file: " + (report.cacheFile.empty() ? std::wstring(L"none (the product folder does not exist)")
                                                        : report.cacheFile);
  }
  text += L"\r\n";
  for (const CheckedFile& file : report.files) text += FileText(file);
  const Tally tally = TallyOf(report);
  text += L"\r\n" + Field(L"tally:", std::to_wstring(tally.trusted + tally.refused) + L" checked, " +
                                       std::to_wstring(tally.trusted) + L" trusted, " +
                                       std::to_wstring(tally.refused) + L" refused, " +
                                       std::to_wstring(tally.missing) + L" missing");
  return text;
}

std::wstring CheckJson(const CheckReport& report) {
  JsonWriter json;
  json.BeginObject();
  json.BoolMember(L"ownPublisherRule", !report.reference.path.empty() && !report.reference.missing);
  JsonReference(json, report.reference);
  NullableString(json, L"cacheFile", report.cacheFile);
  json.BoolMember(L"fresh", report.fresh);
  json.Key(L"files");
  json.BeginArray();
  for (const CheckedFile& file : report.files) JsonFile(json, file);
  json.EndArray();
  json.BoolMember(L"allTrusted", report.allTrusted);
  const Tally tally = TallyOf(report);
  json.Key(L"tally");
  json.BeginObject();
  json.NumberMember(L"checked", tally.trusted + tally.refused);
  json.NumberMember(L"trusted", tally.trusted);
  json.NumberMember(L"refused", tally.refused);
  json.NumberMember(L"missing", tally.missing);
  json.EndObject();
  json.EndObject();
  return json.Text();
}
