// Trusts a CA inside the current Wine prefix only: its certificate goes into
// the prefix's root store, which the host never sees.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <string>

namespace buzonix::testing {

inline bool AddToRootStore(const std::string& pem_file) {
  std::ifstream in(pem_file, std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
    return false;
  std::string der(size, '\0');
  if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE*>(der.data()),
                            &size, nullptr, nullptr))
    return false;
  const HCERTSTORE root = CertOpenSystemStoreA(0, "ROOT");
  if (root == nullptr) return false;
  const bool added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING,
                                                      reinterpret_cast<const BYTE*>(der.data()), size,
                                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
  CertCloseStore(root, 0);
  return added;
}

}  // namespace buzonix::testing
