#include "system/digest.h"

#include "core/system_calls.h"

namespace {

// kSha256, which the headers name only for targets newer than the
// stub's, though the providers of those targets know it.
constexpr ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;   // ALG_SID_SHA_256

}  // namespace

String Sha256Text(const String& text)
{
    String digestText;
    HCRYPTPROV provider;
    // No key container: a digest needs none, and a verify-only context
    // works for every account, SYSTEM included.
    if (!Sys.CryptAcquireContextA(&provider, NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        return digestText;
    HCRYPTHASH hash;
    if (Sys.CryptCreateHash(provider, kSha256, 0, 0, &hash)) {
        BYTE digest[32];
        DWORD size = sizeof digest;
        if (Sys.CryptHashData(hash, (const BYTE*)text.CStr(), (DWORD)text.Length(), 0)
            && Sys.CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0))
            for (DWORD i = 0; i < size; i++)
                digestText.AppendFormat("%02x", digest[i]);
        CryptDestroyHash(hash);
    }
    CryptReleaseContext(provider, 0);
    return digestText;
}
