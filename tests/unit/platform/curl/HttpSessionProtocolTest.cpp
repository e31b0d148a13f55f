// What public HTTPS endpoints expect of the session without being asked: redirects, compressed
// bodies, HTTP/2, kept connections, proxies from the environment, IPv6. Loopback servers only.

#include "platform/curl/HttpSessionCurl.h"
#include "tests/support/Completions.h"
#include "tests/support/ConnectProxy.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TlsCertificate.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <fstream>
#include <set>

namespace zibbles::platform {
namespace {

using namespace std::chrono_literals;
using testing::codeOf;
using testing::Completions;
using testing::get;
using testing::LoopbackServer;

constexpr long kTooLarge = static_cast<long>(HttpErrorCode::ResponseTooLarge);

Completions::Call fetch(HttpSession& session, HttpRequest request,
                        std::chrono::milliseconds bound = 10s) {
    Completions completions;
    session.dataTask(std::move(request), completions.handler())->resume();
    return completions.first(bound);
}

HttpRequest post(std::string url, std::string body) {
    HttpRequest request = get(std::move(url));
    request.method = "POST";
    request.body = std::move(body);
    return request;
}

// An httplib server on 127.0.0.1 with TLS, its certificate trusted through SSL_CERT_FILE.
class TlsLoopbackServer {
  public:
    explicit TlsLoopbackServer(LoopbackServer::Handler handler)
        : certificate_("IP:127.0.0.1"), trusted_(certificate_.certificate()), variable_(&trusted_),
          server_(trusted_.c_str(), certificate_.key().c_str()) {
        server_.Get(".*", handler);
        server_.Post(".*", handler);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        for (int i = 0; i < 5000 && !server_.is_running(); ++i)
            std::this_thread::sleep_for(1ms);
    }
    ~TlsLoopbackServer() {
        server_.stop();
        thread_.join();
    }
    bool ready() const { return certificate_.made() && port_ > 0; }
    std::string url(const std::string& path = "/") const {
        return "https://127.0.0.1:" + std::to_string(port_) + path;
    }
    int port() const { return port_; }
    const testing::SelfSignedCertificate& certificate() const { return certificate_; }

  private:
    testing::SelfSignedCertificate certificate_;
    std::string trusted_;
    testing::CertFileVariable variable_;
    httplib::SSLServer server_;
    int port_ = 0;
    std::thread thread_;
};

// "/hop/STATUS/N" redirects N times with STATUS, then echoes the method and body it got.
void redirectingHandler(const httplib::Request& request, httplib::Response& response) {
    int status = 0;
    int left = 0;
    if (std::sscanf(request.path.c_str(), "/hop/%d/%d", &status, &left) == 2 && left > 0) {
        response.status = status;
        response.set_header("Location",
                            "/hop/" + std::to_string(status) + "/" + std::to_string(left - 1));
        response.set_content("moved", "text/plain");
        return;
    }
    if (request.path == "/loop") {
        response.status = 302;
        response.set_header("Location", "/loop");
        return;
    }
    response.set_content(request.method + " " + request.body, "text/plain");
}

TEST(HttpSessionRedirects, FollowsAsThePlatformDoes) {
    const struct {
        const char* path;
        bool isPost;
        const char* body; // nullptr: the task fails with HTTPTooManyRedirects
    } cases[] = {
        {"/hop/307/1", true, "POST {\"id\":1}"},
        {"/hop/308/2", true, "POST {\"id\":1}"},
        {"/hop/301/1", true, "GET "},
        {"/hop/302/1", true, "GET "},
        {"/hop/303/1", true, "GET "},
        {"/hop/302/10", false, "GET "},
        {"/hop/302/11", false, nullptr},
        {"/hop/307/11", true, nullptr},
        {"/loop", false, nullptr},
    };
    LoopbackServer server;
    server.handle(redirectingHandler);
    const auto session = makeCurlSession();
    for (const auto& c : cases) {
        const auto call = fetch(*session, c.isPost ? post(server.url(c.path), R"({"id":1})")
                                                   : get(server.url(c.path)));
        if (c.body) {
            EXPECT_FALSE(call.error) << c.path << ": " << call.error->detail;
            EXPECT_EQ(call.body, c.body) << c.path;
        } else {
            EXPECT_EQ(codeOf(call), static_cast<long>(HttpErrorCode::HTTPTooManyRedirects))
                << c.path;
        }
    }
}

TEST(HttpSessionRedirects, NeverFromHttpsToHttp) {
    LoopbackServer plain;
    plain.handle(redirectingHandler);
    const std::string insecure = plain.url("/hop/302/0");
    TlsLoopbackServer secure([&](const httplib::Request& request, httplib::Response& response) {
        if (request.path == "/to-http" || request.path == "/to-https") {
            response.status = 307;
            response.set_header("Location", request.path == "/to-http" ? insecure : "/done");
        } else {
            redirectingHandler(request, response);
        }
    });
    if (!secure.ready())
        GTEST_SKIP() << "the openssl tool cannot make a certificate here";
    const auto session = makeCurlSession();
    const auto refused = fetch(*session, post(secure.url("/to-http"), "secret"));
    EXPECT_EQ(codeOf(refused),
              static_cast<long>(HttpErrorCode::AppTransportSecurityRequiresSecureConnection));
    EXPECT_EQ(plain.requestCount(), 0u);
    EXPECT_EQ(fetch(*session, get(secure.url("/to-https"))).body, "GET ")
        << "a redirect that stays on https is followed";
}

// Compresses with zlib: windowBits 15 makes the zlib format ("deflate"), 31 gzip. Feeds `total`
// bytes of zeros when text is empty, without ever holding them.
std::string compress(const std::string& text, int windowBits, std::size_t zeros = 0,
                     int level = Z_BEST_SPEED) {
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY))
        return {};
    static const std::string zeroChunk(1 << 20, '\0');
    std::string out;
    std::size_t fed = 0;
    const std::size_t total = text.empty() ? zeros : text.size();
    char buffer[1 << 16];
    int flush = Z_NO_FLUSH;
    do {
        if (stream.avail_in == 0 && flush == Z_NO_FLUSH) {
            const std::string& source = text.empty() ? zeroChunk : text;
            const std::size_t n = std::min(source.size(), total - fed);
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(source.data()));
            stream.avail_in = static_cast<uInt>(n);
            fed += n;
            flush = fed == total ? Z_FINISH : Z_NO_FLUSH;
        }
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        deflate(&stream, flush);
        out.append(buffer, sizeof buffer - stream.avail_out);
    } while (stream.avail_out == 0 || stream.avail_in > 0 || flush != Z_FINISH);
    deflateEnd(&stream);
    return out;
}

void serveEncoded(httplib::Response& response, const char* encoding, std::string bytes) {
    response.set_header("Content-Encoding", encoding);
    // Not a text type: the server library would otherwise compress it once more on its own.
    response.set_content(std::move(bytes), "application/octet-stream");
}

TEST(HttpSessionCompression, AsksForWhatCurlDecodesAndDeliversItDecoded) {
    std::string json = R"({"jsonrpc":"2.0","id":1,"result":"0x)";
    for (int i = 0; i < 2000; ++i)
        json += "00000000000000000000000000000020";
    json += "\"}";
    const struct {
        const char* encoding;
        std::string bytes;
    } cases[] = {{"gzip", compress(json, 31)}, {"deflate", compress(json, 15)}};
    LoopbackServer server;
    const auto session = makeCurlSession();
    for (const auto& c : cases) {
        ASSERT_LT(c.bytes.size(), json.size() / 10) << c.encoding;
        server.handle([&](const httplib::Request&, httplib::Response& response) {
            serveEncoded(response, c.encoding, c.bytes);
        });
        const auto call = fetch(*session, post(server.url(), "{}"));
        EXPECT_FALSE(call.error) << c.encoding;
        EXPECT_EQ(call.body, json) << c.encoding;
    }
    const std::string asked = server.requests().front().header("Accept-Encoding");
    EXPECT_NE(asked.find("gzip"), std::string::npos) << asked;
    EXPECT_NE(asked.find("deflate"), std::string::npos) << asked;
    const bool brotli = curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_BROTLI;
    EXPECT_EQ(asked.find("br") != std::string::npos, brotli) << asked;
}

// The most this process has held at once since the last reset, in KiB; nullopt where the
// kernel cannot reset the mark, or where the sanitizers' shadow and quarantine would be measured
// rather than the session (their own checks stand in).
std::optional<long> peakKibSinceReset(bool reset) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    if (reset)
        return std::nullopt;
#endif
    if (reset) {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
        if (!clear.flush())
            return std::nullopt;
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return std::nullopt;
}

TEST(HttpSessionCompression, CapsCountDecodedBytesAndABombStaysSmall) {
    constexpr std::size_t cap = HttpSession::maxBodyBytes;
    // A gigabyte of zeros, gzipped twice: a few KB on the wire.
    const std::string bomb =
        compress(compress("", 31, std::size_t(1) << 30), 31, 0, Z_BEST_COMPRESSION);
    const struct {
        const char* what;
        const char* encoding;
        std::string bytes;
        long code;
    } cases[] = {
        {"exactly the cap, decoded", "gzip", compress("", 31, cap), 0},
        {"a byte over the cap, decoded", "gzip", compress("", 31, cap + 1), kTooLarge},
        {"1 GiB from a few KB, gzip twice", "gzip, gzip", bomb, kTooLarge},
    };
    ASSERT_LT(bomb.size(), 16u * 1024u);
    LoopbackServer server;
    const auto session = makeCurlSession();
    for (const auto& c : cases) {
        server.handle([&](const httplib::Request&, httplib::Response& response) {
            serveEncoded(response, c.encoding, c.bytes);
        });
        const auto before = peakKibSinceReset(true);
        const auto call = fetch(*session, get(server.url()), 60s);
        const auto peak = peakKibSinceReset(false);
        EXPECT_EQ(codeOf(call), c.code) << c.what;
        if (c.code == 0) {
            ASSERT_TRUE(call.body) << c.what;
            EXPECT_EQ(call.body->size(), cap) << c.what;
        }
        // One body at the cap and the copies on its way to the completion, far from 1 GiB.
        if (before && peak) {
            EXPECT_LT(*peak - *before, 160 * 1024) << c.what;
        }
    }
}

// nghttpd serving one file over TLS on a free loopback port, for as long as this lives.
class Http2Server {
  public:
    explicit Http2Server(const testing::SelfSignedCertificate& certificate) {
        char pattern[] = "/tmp/zibbles-h2-XXXXXX";
        if (!ZIBBLES_NGHTTPD[0] || !::mkdtemp(pattern))
            return;
        folder_ = pattern;
        std::ofstream(folder_ + "/token.json") << R"({"result":"0x2a"})";
        port_ = LoopbackServer().port(); // free a moment ago; nghttpd takes it now
        pid_ = ::fork();
        if (pid_ == 0) {
            const int log = ::open((folder_ + "/log").c_str(), O_WRONLY | O_CREAT, 0600);
            ::dup2(log, 1);
            ::dup2(log, 2);
            const std::string port = std::to_string(port_);
            const std::string key = certificate.key();
            const std::string cert = certificate.certificate();
            const std::string htdocs = "--htdocs=" + folder_;
            ::execl(ZIBBLES_NGHTTPD, "nghttpd", "--verbose", "--address=127.0.0.1", htdocs.c_str(),
                    port.c_str(), key.c_str(), cert.c_str(), nullptr);
            ::_exit(127);
        }
        for (int i = 0; i < 100 && !listening(); ++i)
            std::this_thread::sleep_for(50ms);
    }
    ~Http2Server() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (!folder_.empty())
            std::filesystem::remove_all(folder_);
    }
    bool listening() const {
        const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        const bool up =
            ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(probe);
        return pid_ > 0 && up;
    }
    std::string url(const std::string& path) const {
        return "https://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::string log() const {
        std::ifstream in(folder_ + "/log");
        return {std::istreambuf_iterator<char>(in), {}};
    }

  private:
    std::string folder_;
    int port_ = 0;
    pid_t pid_ = -1;
};

TEST(HttpSessionVersions, Http2WhenTheServerOffersItHttp11Otherwise) {
    TlsLoopbackServer http11([](const httplib::Request& request, httplib::Response& response) {
        response.set_content("asked in " + request.version, "text/plain");
    });
    if (!http11.ready())
        GTEST_SKIP() << "the openssl tool cannot make a certificate here";
    const auto session = makeCurlSession();
    EXPECT_EQ(fetch(*session, post(http11.url(), "{}")).body, "asked in HTTP/1.1");

    Http2Server http2(http11.certificate());
    if (!http2.listening())
        GTEST_SKIP() << "nghttpd (Debian's nghttp2-server) is not here to speak HTTP/2";
    const auto call = fetch(*session, get(http2.url("/token.json")));
    EXPECT_FALSE(call.error) << call.error->detail;
    EXPECT_EQ(call.body, R"({"result":"0x2a"})");
    EXPECT_NE(http2.log().find("recv HEADERS frame"), std::string::npos) << http2.log();
}

TEST(HttpSessionConnections, AHundredFetchesFiveAtATimeKeepFiveConnections) {
    LoopbackServer server;
    server.handle([](const httplib::Request& request, httplib::Response& response) {
        response.set_content(request.path, "application/json");
    });
    const auto session = makeCurlSession();
    constexpr int total = 100;
    constexpr int atOnce = 5;
    // Appending, not "/" + text: GCC 12 warns falsely (-Wrestrict) on that operator at -O2.
    const auto pathOf = [](int i) { return std::string("/").append(std::to_string(i)); };
    std::vector<Completions> completions(total);
    for (int first = 0; first < total; first += atOnce) {
        for (int i = first; i < first + atOnce; ++i)
            session->dataTask(get(server.url(pathOf(i))), completions[i].handler())->resume();
        for (int i = first; i < first + atOnce; ++i)
            EXPECT_EQ(completions[i].first().body, pathOf(i));
    }
    std::set<int> connections;
    for (const auto& request : server.requests())
        connections.insert(request.remotePort);
    EXPECT_EQ(server.requestCount(), static_cast<std::size_t>(total));
    EXPECT_LE(connections.size(), static_cast<std::size_t>(atOnce));
}

// One environment variable set (or unset) for the life of this object.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedVariable() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(HttpSessionProxies, FromTheEnvironmentAsCurlReadsThem) {
    LoopbackServer plain;
    plain.handle([](const httplib::Request&, httplib::Response& response) {
        response.set_content("direct", "text/plain");
    });
    std::atomic<bool> stallSecure{false};
    TlsLoopbackServer secure([&](const httplib::Request&, httplib::Response& response) {
        if (stallSecure)
            std::this_thread::sleep_for(1500ms);
        response.set_content("direct, secure", "text/plain");
    });
    if (!secure.ready())
        GTEST_SKIP() << "the openssl tool cannot make a certificate here";
    testing::ConnectProxy proxy;
    const std::string via = proxy.url();
    const struct {
        const char* what;
        std::string url;
        const char* noProxy;
        bool stall;
        long code;
        const char* body;
        int tunnels;
        int forwarded;
    } cases[] = {
        {"https through a tunnel", secure.url(), nullptr, false, 0, "direct, secure", 1, 0},
        {"http asked of the proxy", plain.url(), nullptr, false, 0, "via proxy", 0, 1},
        {"https, the host in no_proxy", secure.url(), "127.0.0.1", false, 0, "direct, secure", 0,
         0},
        {"http, the host in no_proxy", plain.url(), "localhost,127.0.0.1", false, 0, "direct", 0,
         0},
        {"silence behind the tunnel times out", secure.url(), nullptr, true,
         static_cast<long>(HttpErrorCode::TimedOut), nullptr, 1, 0},
    };
    for (const auto& c : cases) {
        const ScopedVariable https("https_proxy", via.c_str());
        const ScopedVariable http("http_proxy", via.c_str());
        const ScopedVariable bypass("no_proxy", c.noProxy);
        const ScopedVariable bypassUpper("NO_PROXY", nullptr);
        const int tunnelsBefore = proxy.tunnels();
        const int forwardedBefore = proxy.forwarded();
        stallSecure = c.stall;
        // A session of its own: no connection kept from the case before.
        const auto session = makeCurlSession();
        const auto call = fetch(*session, get(c.url, c.stall ? 0.5 : 10.0));
        EXPECT_EQ(codeOf(call), c.code) << c.what;
        if (c.body) {
            EXPECT_EQ(call.body, c.body) << c.what;
        }
        EXPECT_EQ(proxy.tunnels() - tunnelsBefore, c.tunnels) << c.what;
        EXPECT_EQ(proxy.forwarded() - forwardedBefore, c.forwarded) << c.what;
    }
}

TEST(HttpSessionIPv6, LoopbackEndpoint) {
    std::unique_ptr<LoopbackServer> server;
    try {
        server = std::make_unique<LoopbackServer>("::1");
    } catch (const std::exception&) {
        GTEST_SKIP() << "this machine has no IPv6 loopback address (::1) to listen on";
    }
    server->handle([](const httplib::Request&, httplib::Response& response) {
        response.set_content("over IPv6", "text/plain");
    });
    ASSERT_EQ(server->url().rfind("http://[::1]:", 0), 0u);
    const auto session = makeCurlSession();
    const auto call = fetch(*session, post(server->url(), "{}"));
    EXPECT_FALSE(call.error) << call.error->detail;
    EXPECT_EQ(call.body, "over IPv6");
}

} // namespace
} // namespace zibbles::platform
