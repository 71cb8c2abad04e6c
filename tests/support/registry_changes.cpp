#include "tests/support/registry_changes.h"

#include "locations/product_paths.h"
#include "platform/unique_handle.h"

namespace {

platform::UniqueRegKey OpenKey(HKEY root, REGSAM view, const std::wstring& subKey, REGSAM access) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, subKey.c_str(), 0, access | view, &key) != ERROR_SUCCESS) return {};
  return platform::UniqueRegKey({key, &::RegCloseKey});
}

platform::UniqueRegKey CreateKey(HKEY root, REGSAM view, const std::wstring& subKey) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return {};
  }
  return platform::UniqueRegKey({key, &::RegCloseKey});
}

bool WriteValue(HKEY root, REGSAM view, const std::wstring& subKey, const std::wstring& name, DWORD type,
                const BYTE* data, DWORD size) {
  const platform::UniqueRegKey key = CreateKey(root, view, subKey);
  return key && ::RegSetValueExW(key.Get().key, name.c_str(), 0, type, data, size) == ERROR_SUCCESS;
}

}  // namespace

RegistryChanges::~RegistryChanges() {
  for (auto change = changes_.rbegin(); change != changes_.rend(); ++change) Undo(*change);
  if (redirectedAppData_) ProductPaths::ForgetRoamingAppDataForTesting();
}

RegistryChanges::Change RegistryChanges::Record(HKEY root, REGSAM view, const std::wstring& subKey,
                                                const std::wstring& name) const {
  Change change;
  change.root = root;
  change.view = view;
  change.subKey = subKey;
  change.name = name;
  for (size_t end = subKey.find(L'\\'); ; end = subKey.find(L'\\', end + 1)) {
    const std::wstring path = subKey.substr(0, end);
    if (!change.createdKeys.empty() || !OpenKey(root, view, path, KEY_READ)) change.createdKeys.push_back(path);
    if (end == std::wstring::npos) break;
  }
  const platform::UniqueRegKey key = OpenKey(root, view, subKey, KEY_QUERY_VALUE);
  DWORD size = 0;
  if (key && ::RegQueryValueExW(key.Get().key, name.c_str(), nullptr, &change.type, nullptr, &size) == ERROR_SUCCESS) {
    change.data.resize(size);
    change.hadValue = ::RegQueryValueExW(key.Get().key, name.c_str(), nullptr, &change.type, change.data.data(),
                                         &size) == ERROR_SUCCESS;
  }
  return change;
}

void RegistryChanges::Undo(const Change& change) {
  if (change.hadValue) {
    WriteValue(change.root, change.view, change.subKey, change.name, change.type, change.data.data(),
               static_cast<DWORD>(change.data.size()));
  } else if (const auto key = OpenKey(change.root, change.view, change.subKey, KEY_SET_VALUE)) {
    ::RegDeleteValueW(key.Get().key, change.name.c_str());
  }
  for (auto path = change.createdKeys.rbegin(); path != change.createdKeys.rend(); ++path) {
    ::RegDeleteKeyExW(change.root, path->c_str(), change.view, 0);
  }
}

bool RegistryChanges::Set(HKEY root, REGSAM view, const std::wstring& subKey, const std::wstring& name, DWORD type,
                          const std::vector<BYTE>& data) {
  changes_.push_back(Record(root, view, subKey, name));
  return WriteValue(root, view, subKey, name, type, data.data(), static_cast<DWORD>(data.size()));
}

bool RegistryChanges::SetText(HKEY root, REGSAM view, const std::wstring& subKey, const std::wstring& name,
                              const std::wstring& text, DWORD type) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  return Set(root, view, subKey, name, type, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t)));
}

bool RegistryChanges::Remove(HKEY root, REGSAM view, const std::wstring& subKey, const std::wstring& name) {
  Change change = Record(root, view, subKey, name);
  if (!change.hadValue) return true;
  changes_.push_back(change);
  const platform::UniqueRegKey key = OpenKey(root, view, subKey, KEY_SET_VALUE);
  return key && ::RegDeleteValueW(key.Get().key, name.c_str()) == ERROR_SUCCESS;
}

bool RegistryChanges::RedirectAppData(const std::wstring& folder) {
  redirectedAppData_ = true;
  const bool redirected =
      SetText(HKEY_CURRENT_USER, 0, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
              L"AppData", folder, REG_EXPAND_SZ);
  ProductPaths::ForgetRoamingAppDataForTesting();
  return redirected;
}

bool RegistryChanges::SetInstallPath(const std::wstring& product, const std::wstring& path, REGSAM view) {
  return SetText(HKEY_LOCAL_MACHINE, view, L"SOFTWARE\\" + product, L"Path", path);
}
