// What the check command found, and its text and JSON forms. Building the
// report (check_command.cpp) and writing it are apart, so that every wording
// can be tried on made-up findings.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "signcheck/file_facts.h"
#include "platform/signature_verdict.h"
#include "platform/trust_decision.h"
#include "signer/own_publisher_rule.h"
#include "signer/signature_examination.h"

class JsonWriter;

// The launcher whose publisher counts as the product's own.
struct Reference {
  std::wstring path;       // empty: none given and none installed
  bool installed = false;  // found through the registry's install path
  bool missing = false;    // --launcher names no file
  platform::SignatureVerdict verdict = platform::SignatureVerdict::Unavailable;
  std::wstring signer;
  // The launcher looked for in the registry's install path.
  std::wstring installedName = L"VaroPicViewer.exe";
};

// What the own-publisher rule accepts on the reference's behalf, as the
// signer policy judges it; nothing without a reference.
OwnPublisherAccepts WhatReferenceAccepts(const Reference& reference);

struct CheckedFile {
  std::wstring path;
  // Why the file was not checked (e.g. "no such file"); empty when it was.
  std::wstring missing;
  TrustDecision decision;
  SignatureExamination examination;
  FileFacts facts;
  // The cache's verdict when a fresh check gave another: the file changed
  // with its size and times kept, and `decision` is the fresh one.
  std::optional<platform::SignatureVerdict> staleVerdict;
};

struct CheckReport {
  Reference reference;
  bool fresh = false;      // --fresh: no cache file read or written
  std::wstring cacheFile;  // empty: none (fresh, or no product folder)
  std::vector<CheckedFile> files;
  bool allTrusted = false;  // every file found and trusted
};

// The heading line about the own-publisher rule.
std::wstring ReferenceText(const Reference& reference);
// The reference as the member "reference" of a JSON object (null: none).
void JsonReference(JsonWriter& json, const Reference& reference);

// The rule that decided, as the report words it, e.g. "allowed publisher
// (row 6)".
std::wstring RuleText(const TrustDecision& decision);
// One report line: two spaces, the label, the value in the value column.
std::wstring Field(const wchar_t* label, const std::wstring& value);
// The lines from "verdict:" to "cached:", whose wording scripts read.
std::wstring DecisionFields(const TrustDecision& decision);
// The same facts as members of a JSON object: verdict, signer, decision,
// rule, allowedRow, fromCache.
void JsonDecision(JsonWriter& json, const TrustDecision& decision);
// `value` as a string member, or null when it is empty.
void NullableString(JsonWriter& json, const wchar_t* name, const std::wstring& value);
// "-" for an empty text.
std::wstring OrDash(const std::wstring& text);

// The report as the console shows it, lines ending in CR LF.
std::wstring CheckText(const CheckReport& report);

// The report as one JSON document.
std::wstring CheckJson(const CheckReport& report);
