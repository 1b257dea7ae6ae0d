#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <sys/stat.h>

#include <mutex>

#include "platform/curl_tls.h"
#include "platform/curl_transfer.h"

namespace {

struct X509StoreFree {
    void operator()(X509_STORE* s) const { X509_STORE_free(s); }
};
using X509Store = std::unique_ptr<X509_STORE, X509StoreFree>;
struct CurlShareFree {
    void operator()(CURLSH* s) const { curl_share_cleanup(s); }
};
using CurlShare = std::unique_ptr<CURLSH, CurlShareFree>;

// What the roots were read from; any difference means reading them again.
struct RootsKey {
    std::string file;
    std::string folder;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedSeconds = 0;
    long modifiedNanoseconds = 0;
    bool operator==(const RootsKey&) const = default;
};

struct CurlDefaults {
    std::string caFile;
    std::string caFolder;
};

const CurlDefaults& curlDefaults() {
    static const CurlDefaults defaults = [] {
        CurlDefaults d;
        CurlEasy easy(curlReady() ? curl_easy_init() : nullptr);
        char* text = nullptr;
        if (easy && curl_easy_getinfo(easy.get(), CURLINFO_CAINFO, &text) == CURLE_OK && text)
            d.caFile = text;
        text = nullptr;
        if (easy && curl_easy_getinfo(easy.get(), CURLINFO_CAPATH, &text) == CURLE_OK && text)
            d.caFolder = text;
        return d;
    }();
    return defaults;
}

// libcurl's own choice for a store it fills: the roots come first, and a root may be an
// intermediate certificate.
constexpr unsigned long kStoreFlags = X509_V_FLAG_TRUSTED_FIRST | X509_V_FLAG_PARTIAL_CHAIN;

X509Store loadRoots(const RootsKey& key) {
    X509Store store(X509_STORE_new());
    bool ok = store && X509_STORE_load_file(store.get(), key.file.c_str()) == 1 &&
              (key.folder.empty() || X509_STORE_load_path(store.get(), key.folder.c_str()) == 1) &&
              X509_STORE_set_flags(store.get(), kStoreFlags) == 1;
    if (!ok) {
        // A failure leaves errors queued on this thread, where libcurl would take them for
        // its own.
        ERR_clear_error();
        store.reset();
    }
    return store;
}

// Hands every new TLS context of an exchange the shared roots; libcurl has loaded none.
CURLcode useRoots(CURL*, void* sslContext, void* roots) {
    auto* store = static_cast<X509_STORE*>(roots);
    if (X509_STORE_up_ref(store) != 1) return CURLE_OUT_OF_MEMORY;
    SSL_CTX_set_cert_store(static_cast<SSL_CTX*>(sslContext), store);  // takes the reference
    return CURLE_OK;
}

}  // namespace

class CurlTlsShare {
public:
    RootsKey key;
    X509Store roots;
    // One per kind of shared data; requests run on many threads at once.
    std::mutex locks[CURL_LOCK_DATA_LAST];
    CurlShare share;  // after the locks: its cleanup still locks

    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
        if (data >= 0 && data < CURL_LOCK_DATA_LAST) static_cast<CurlTlsShare*>(self)->locks[data].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* self) {
        if (data >= 0 && data < CURL_LOCK_DATA_LAST) static_cast<CurlTlsShare*>(self)->locks[data].unlock();
    }
};

namespace {

std::shared_ptr<CurlTlsShare> makeShare(const RootsKey& key) {
    auto made = std::make_shared<CurlTlsShare>();
    made->key = key;
    made->roots = loadRoots(key);
    if (!made->roots) return nullptr;
    made->share.reset(curl_share_init());
    CURLSH* s = made->share.get();
    // Sessions and addresses only: sharing connections would pool them.
    if (!s || curl_share_setopt(s, CURLSHOPT_LOCKFUNC, &CurlTlsShare::lock) != CURLSHE_OK ||
        curl_share_setopt(s, CURLSHOPT_UNLOCKFUNC, &CurlTlsShare::unlock) != CURLSHE_OK ||
        curl_share_setopt(s, CURLSHOPT_USERDATA, made.get()) != CURLSHE_OK ||
        curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) != CURLSHE_OK ||
        curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) != CURLSHE_OK)
        return nullptr;
    return made;
}

struct CurrentShare {
    std::mutex mutex;
    std::shared_ptr<CurlTlsShare> share;
};

}  // namespace

std::shared_ptr<CurlTlsShare> tlsShareFor(const std::string& caBundle) {
    RootsKey key;
    key.file = caBundle.empty() ? curlDefaults().caFile : caBundle;
    key.folder = curlDefaults().caFolder;
    struct stat info {};
    if (key.file.empty() || stat(key.file.c_str(), &info) != 0) return nullptr;
    key.device = info.st_dev;
    key.inode = info.st_ino;
    key.size = info.st_size;
    key.modifiedSeconds = info.st_mtim.tv_sec;
    key.modifiedNanoseconds = info.st_mtim.tv_nsec;

    // Never destroyed: a query's worker may still be in a request while the process exits.
    static CurrentShare* const current = new CurrentShare;
    std::lock_guard lock(current->mutex);
    if (!current->share || current->share->key != key) {
        // Exchanges still running keep the share they started with.
        current->share = makeShare(key);
    }
    return current->share;
}

bool useTlsShare(CURL* easy, CurlTlsShare& share) {
    // No file or folder for libcurl to read: the callback hands over the roots read already.
    return curl_easy_setopt(easy, CURLOPT_SHARE, share.share.get()) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_CA_CACHE_TIMEOUT, 0L) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &useRoots) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, share.roots.get()) == CURLE_OK;
}
