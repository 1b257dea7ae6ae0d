#pragma once
// What every exchange of the process shares, as the platform's TLS stack keeps it once per
// process: the trusted roots, read and parsed once, and the TLS sessions (with the resolved
// addresses), so that a later handshake with the same host resumes an earlier session instead
// of checking a certificate chain again. Connections are never shared: each exchange still
// opens and closes its own. Any thread may call these.
#include <curl/curl.h>

#include <memory>
#include <string>

class CurlTlsShare;

// The share for the roots in `caBundle` (a PEM file; "" for libcurl's own bundle), plus
// libcurl's certificate folder. A bundle changed since the last call (another file, size,
// modification time) gets a new share, so that no session made under other roots is resumed.
// Null when the bundle cannot be read: the caller then leaves the roots to libcurl, which
// fails the handshake as before.
std::shared_ptr<CurlTlsShare> tlsShareFor(const std::string& caBundle);

// Points an easy handle at the share's roots, session cache and address cache. The handle must
// be cleaned up before the last reference to the share goes. False when libcurl refused.
bool useTlsShare(CURL* easy, CurlTlsShare& share);
