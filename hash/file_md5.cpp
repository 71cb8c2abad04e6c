#include "hash/file_md5.h"

#include <utility>

#include "hash/qm_file_hash.h"

bool GetFileMD5(const std::wstring& path, std::wstring& digestText) {
  if (path.empty()) return false;
  QM::QMMD5 md5;
  if (!md5.CalcFile(path)) return false;
  const auto& calculators = md5.Calculators();
  std::wstring digest = calculators.empty() ? std::wstring() : calculators.front()->GetHexDigest();
  if (digest.empty()) return false;
  digestText = std::move(digest);
  return true;
}
