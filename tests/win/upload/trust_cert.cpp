// Test helper: puts a DER certificate into the machine's trusted root store,
// or takes it out again, as an administrator would for a private CA.
//   kvtrustcert add|remove <file.der>
// Exit code 0 on success.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::vector<BYTE> der;
  if (FILE* f = std::fopen(argv[2], "rb")) {
    BYTE buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
      der.insert(der.end(), buffer, buffer + n);
    std::fclose(f);
  }
  if (der.empty()) return 3;
  HCERTSTORE store =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
  if (!store) return 4;
  bool ok = false;
  if (std::strcmp(argv[1], "add") == 0) {
    ok = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                          static_cast<DWORD>(der.size()),
                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
  } else if (std::strcmp(argv[1], "remove") == 0) {
    PCCERT_CONTEXT wanted =
        CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    if (wanted) {
      PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                        CERT_FIND_EXISTING, wanted, nullptr);
      ok = found && CertDeleteCertificateFromStore(found);  // frees `found`
      CertFreeCertificateContext(wanted);
    }
  }
  CertCloseStore(store, 0);
  return ok ? 0 : 1;
}
