// Adds a test CA's certificate to the machine's ROOT store of the Wine
// prefix it runs in, so that HTTPS to a fake server whose certificate that
// CA signed is trusted:
//   trust_test_root <certificate file, PEM or DER>
// Prints "trusted=1" on success, "trusted=0 error=<n>" otherwise.

#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>

#include <string>
#include <vector>

namespace {

bool ReadFileBytes(const wchar_t* path, std::string* bytes) {
  FILE* file = _wfopen(path, L"rb");
  if (!file) return false;
  char buffer[4096];
  size_t read;
  while ((read = fread(buffer, 1, sizeof(buffer), file)) > 0)
    bytes->append(buffer, read);
  fclose(file);
  return true;
}

// DER as it stands; PEM decoded from its base64 between the header lines.
bool ToDer(const std::string& file, std::vector<BYTE>* der) {
  if (file.find("-----BEGIN") == std::string::npos) {
    der->assign(file.begin(), file.end());
    return !der->empty();
  }
  DWORD size = 0;
  if (!CryptStringToBinaryA(file.c_str(), static_cast<DWORD>(file.size()),
                            CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                            nullptr))
    return false;
  der->resize(size);
  return CryptStringToBinaryA(file.c_str(), static_cast<DWORD>(file.size()),
                              CRYPT_STRING_BASE64HEADER, der->data(), &size,
                              nullptr, nullptr) != FALSE;
}

int Fail(DWORD error) {
  printf("trusted=0 error=%lu\n", error);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: trust_test_root <certificate file>\n");
    return 2;
  }
  std::string file;
  std::vector<BYTE> der;
  if (!ReadFileBytes(argv[1], &file) || !ToDer(file, &der))
    return Fail(ERROR_INVALID_DATA);
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
  if (!store) return Fail(GetLastError());
  const BOOL added = CertAddEncodedCertificateToStore(
      store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  const DWORD error = GetLastError();
  CertCloseStore(store, 0);
  if (!added) return Fail(error);
  printf("trusted=1\n");
  return 0;
}
