#include "signcheck/reference_launcher.h"

#include "locations/product_layout.h"
#include "locations/product_paths.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "signer/signer_verifier.h"

std::wstring FullPathOf(const std::wstring& path) {
  std::wstring full;
  size_t filePart = 0;
  return PathText::FullPath(path, full, filePart) ? full : path;
}

Reference FindReference(const std::wstring& launcherArgument, const wchar_t* installedName) {
  Reference reference;
  reference.installedName = installedName;
  if (!launcherArgument.empty()) {
    reference.path = FullPathOf(launcherArgument);
    reference.missing = !FileSystem::IsFile(reference.path);
    return reference;
  }
  const std::wstring installFolder = ProductPaths::RegistryInstallPath(product_layout::kProductFolder);
  if (!installFolder.empty() && FileSystem::IsFile(installFolder + installedName)) {
    reference.path = installFolder + installedName;
    reference.installed = true;
  }
  return reference;
}

void UseReference(Reference& reference) {
  SignerVerifier& verifier = SignerVerifier::Instance();
  if (reference.path.empty() || reference.missing) {
    verifier.ClearReferencePublisher();
    return;
  }
  verifier.SetReferencePublisherFile(reference.path);
  reference.verdict = verifier.CheckFile(reference.path, reference.signer);
}
