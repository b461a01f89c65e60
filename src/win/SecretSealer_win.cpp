#include "win/SecretSealer_win.h"

#include <windows.h>
#include <wincrypt.h>

#include <memory>

#include "win/SystemLibrary_win.h"

namespace buzonix {
namespace {

constexpr char kEntropy[] = "Buzonix Electronico: OAuthRefresco";

struct DpapiApi {
  SystemLibrary crypt32{L"crypt32.dll"};
  decltype(&CryptProtectData) Protect = crypt32.Bind<decltype(&CryptProtectData)>("CryptProtectData");
  decltype(&CryptUnprotectData) Unprotect = crypt32.Bind<decltype(&CryptUnprotectData)>("CryptUnprotectData");
};

const DpapiApi* Api() {
  static const DpapiApi api;
  return api.Protect != nullptr && api.Unprotect != nullptr ? &api : nullptr;
}

// The output blob DPAPI allocates, freed with its owner.
struct LocalMemory {
  void operator()(BYTE* data) const { LocalFree(data); }
};

DATA_BLOB BlobOf(std::string_view bytes) {
  return {static_cast<DWORD>(bytes.size()), reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()))};
}


}  // namespace

std::optional<std::string> DpapiSealer::Seal(std::string_view plain) {
  const DpapiApi* api = Api();
  if (api == nullptr) return std::nullopt;
  DATA_BLOB in = BlobOf(plain);
  DATA_BLOB entropy = BlobOf(kEntropy);
  DATA_BLOB out{};
  if (!api->Protect(&in, L"", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) return std::nullopt;
  const std::unique_ptr<BYTE, LocalMemory> owned(out.pbData);
  return std::string(reinterpret_cast<const char*>(out.pbData), out.cbData);
}

std::optional<std::string> DpapiSealer::Unseal(std::string_view sealed) {
  const DpapiApi* api = Api();
  if (api == nullptr || sealed.empty()) return std::nullopt;
  DATA_BLOB in = BlobOf(sealed);
  DATA_BLOB entropy = BlobOf(kEntropy);
  DATA_BLOB out{};
  if (!api->Unprotect(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
    return std::nullopt;
  const std::unique_ptr<BYTE, LocalMemory> owned(out.pbData);
  std::string plain(reinterpret_cast<const char*>(out.pbData), out.cbData);
  SecureZeroMemory(out.pbData, out.cbData);
  return plain;
}

}  // namespace buzonix
