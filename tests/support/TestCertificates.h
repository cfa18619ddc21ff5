#pragma once
// Certificates for the TLS tests, made with the OpenSSL API: a test
// certificate authority, server certificates it signs (valid, expired, for
// another host name) and self-signed ones, as PEM text or files. EC P-256
// keys, so making them costs next to nothing. Header-only.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <string>
#include <vector>

#include "FtpTestServer.h"

namespace zyfar::test {

struct TestCertificate {
    std::string certPem;
    std::string keyPem;
    bool ok() const { return !certPem.empty() && !keyPem.empty(); }
};

struct CertificateSpec {
    std::string commonName = "127.0.0.1";
    // subjectAltName entries, e.g. "IP:127.0.0.1", "DNS:other.example".
    std::string altNames = "IP:127.0.0.1";
    long notBeforeDays = -1;  // relative to now
    long notAfterDays = 365;
    bool authority = false;   // a CA certificate that may sign others
};

namespace detail {

inline std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long len = BIO_get_mem_data(bio, &data);
    return len > 0 && data != nullptr ? std::string(data, static_cast<std::size_t>(len)) : std::string();
}

inline bool AddExtension(X509* cert, X509V3_CTX* ctx, int nid, const std::string& value) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, ctx, nid, value.c_str());
    if (ext == nullptr) return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

inline X509* ParseCert(const std::string& pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return cert;
}

inline EVP_PKEY* ParseKey(const std::string& pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return key;
}

}  // namespace detail

// A certificate signed by `issuer`, or self-signed when issuer is null.
inline TestCertificate MakeCertificate(const CertificateSpec& spec, const TestCertificate* issuer = nullptr) {
    TestCertificate out;
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    X509* cert = X509_new();
    X509* issuerCert = issuer != nullptr ? detail::ParseCert(issuer->certPem) : nullptr;
    EVP_PKEY* issuerKey = issuer != nullptr ? detail::ParseKey(issuer->keyPem) : nullptr;
    bool ok = key != nullptr && cert != nullptr && (issuer == nullptr || (issuerCert != nullptr && issuerKey != nullptr));
    if (ok) {
        unsigned char serial[8];
        RAND_bytes(serial, sizeof(serial));
        serial[0] &= 0x7F;
        BIGNUM* bn = BN_bin2bn(serial, sizeof(serial), nullptr);
        BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert));
        BN_free(bn);
        X509_set_version(cert, 2);
        X509_gmtime_adj(X509_getm_notBefore(cert), spec.notBeforeDays * 86400L);
        X509_gmtime_adj(X509_getm_notAfter(cert), spec.notAfterDays * 86400L);
        X509_set_pubkey(cert, key);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Zyfar tests"),
                                   -1, -1, 0);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(spec.commonName.c_str()), -1, -1, 0);
        X509_set_issuer_name(cert, issuerCert != nullptr ? X509_get_subject_name(issuerCert) : name);
        X509V3_CTX ctx;
        X509V3_set_ctx(&ctx, issuerCert != nullptr ? issuerCert : cert, cert, nullptr, nullptr, 0);
        ok = detail::AddExtension(cert, &ctx, NID_basic_constraints,
                                  spec.authority ? "critical,CA:TRUE" : "critical,CA:FALSE") &&
             detail::AddExtension(cert, &ctx, NID_subject_key_identifier, "hash") &&
             (issuerCert == nullptr || detail::AddExtension(cert, &ctx, NID_authority_key_identifier, "keyid")) &&
             detail::AddExtension(cert, &ctx, NID_key_usage,
                                  spec.authority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature") &&
             (spec.authority || spec.altNames.empty() ||
              detail::AddExtension(cert, &ctx, NID_subject_alt_name, spec.altNames)) &&
             X509_sign(cert, issuerKey != nullptr ? issuerKey : key, EVP_sha256()) > 0;
    }
    if (ok) {
        BIO* c = BIO_new(BIO_s_mem());
        BIO* k = BIO_new(BIO_s_mem());
        if (PEM_write_bio_X509(c, cert) == 1 &&
            PEM_write_bio_PrivateKey(k, key, nullptr, nullptr, 0, nullptr, nullptr) == 1) {
            out.certPem = detail::BioText(c);
            out.keyPem = detail::BioText(k);
        }
        BIO_free(c);
        BIO_free(k);
    }
    X509_free(issuerCert);
    EVP_PKEY_free(issuerKey);
    X509_free(cert);
    EVP_PKEY_free(key);
    return out;
}

// Writes <folder>/<name>.crt and <name>.key (0600); returns the pair of paths.
struct CertificateFiles {
    std::string cert;
    std::string key;
};
inline CertificateFiles WriteCertificate(const std::string& folder, const std::string& name,
                                         const TestCertificate& c) {
    CertificateFiles f{folder + "/" + name + ".crt", folder + "/" + name + ".key"};
    WriteFile(f.cert, c.certPem);
    WriteFile(f.key, c.keyPem);
    ::chmod(f.key.c_str(), 0600);
    return f;
}

// The whole set the TLS tests use, made once per test program.
struct TestCertificateSet {
    TestCertificate authority;  // the test CA
    TestCertificate valid;      // 127.0.0.1, signed by the CA: verifies with the CA file
    TestCertificate expired;    // 127.0.0.1, signed by the CA, ended yesterday
    TestCertificate otherHost;  // DNS other.example, signed by the CA
    TestCertificate selfSigned; // 127.0.0.1, its own issuer
    TestCertificate selfSigned2;  // another self-signed one for 127.0.0.1 (a changed certificate)

    static const TestCertificateSet& Get() {
        static const TestCertificateSet set = [] {
            TestCertificateSet s;
            CertificateSpec ca;
            ca.commonName = "Zyfar Test CA";
            ca.authority = true;
            ca.altNames.clear();
            ca.notAfterDays = 3650;
            s.authority = MakeCertificate(ca);
            s.valid = MakeCertificate(CertificateSpec{}, &s.authority);
            CertificateSpec old;
            old.notBeforeDays = -30;
            old.notAfterDays = -1;
            s.expired = MakeCertificate(old, &s.authority);
            CertificateSpec other;
            other.commonName = "other.example";
            other.altNames = "DNS:other.example";
            s.otherHost = MakeCertificate(other, &s.authority);
            s.selfSigned = MakeCertificate(CertificateSpec{});
            s.selfSigned2 = MakeCertificate(CertificateSpec{});
            return s;
        }();
        return set;
    }
};

}  // namespace zyfar::test
