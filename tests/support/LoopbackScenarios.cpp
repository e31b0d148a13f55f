// zibbles-loopback-scenarios: the loopback servers of the URL session's tests as a program of
// their own, for a session that cannot share a process with them (the WinHTTP session runs under
// Wine). It starts them on 127.0.0.1, prints one line naming their ports,
//   http=PORT hostile=PORT tls=PORT refused=PORT
// and serves until its standard input closes. What each answers:
//   http (LoopbackServer):  /ok, /echo (method, body and X-Test back), /redirect/N (N steps to
//       /ok), /see-other and /temporary (303 and 307 to /echo), /loop (a redirect to itself),
//       /gzip, /deflate and /raw-deflate (the same body compressed), /status/503, /stall (no
//       answer until the program ends).
//   hostile (HostileServer), by the request's body: never-answer, close-mid-body, reset,
//       not-http, endless-headers, huge (20 MiB).
//   tls: https with a self-signed certificate that no store trusts.
//   refused: a port nothing listens on.

#include "tests/support/HostileServer.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TlsCertificate.h"

#include <zlib.h>

#include <iostream>

namespace {

using namespace zibbles::testing;

constexpr const char* kBody = "a body that arrives compressed, a body that arrives compressed";

// windowBits as zlib takes them: 31 gzip, 15 zlib's deflate, -15 raw deflate.
std::string compressed(const std::string& text, int windowBits) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

void answer(LoopbackServer& server, const httplib::Request& request, httplib::Response& response) {
    const std::string& path = request.path;
    const auto redirect = [&](int status, const std::string& to) {
        response.status = status;
        response.set_header("Location", to);
    };
    if (path == "/ok") {
        response.set_header("X-Answer", "42");
        response.set_content("hello", "text/plain");
    } else if (path == "/echo") {
        response.set_content(request.method + " " + request.body + " " +
                                 request.get_header_value("X-Test"),
                             "text/plain");
    } else if (path.rfind("/redirect/", 0) == 0) {
        const int left = std::atoi(path.c_str() + 10);
        redirect(302, left > 0 ? "/redirect/" + std::to_string(left - 1) : "/ok");
    } else if (path == "/see-other") {
        redirect(303, "/echo");
    } else if (path == "/temporary") {
        redirect(307, "/echo");
    } else if (path == "/loop") {
        redirect(302, "/loop");
    } else if (path == "/gzip" || path == "/deflate" || path == "/raw-deflate") {
        const int bits = path == "/gzip" ? 31 : path == "/deflate" ? 15 : -15;
        response.set_header("Content-Encoding", path == "/gzip" ? "gzip" : "deflate");
        response.set_content(compressed(kBody, bits), "text/plain");
    } else if (path == "/status/503") {
        response.status = 503;
        response.set_content("busy", "text/plain");
    } else if (path == "/stall") {
        server.stall(std::chrono::minutes(5));
        response.set_content("late", "text/plain");
    } else {
        response.status = 404;
    }
}

Reply hostileReply(const std::string& body) {
    const auto only = [](Misbehaviour kind) {
        Reply reply;
        reply.kind = kind;
        return reply;
    };
    if (body == "never-answer")
        return only(Misbehaviour::NeverAnswer);
    if (body == "close-mid-body")
        return {Misbehaviour::CloseMidBody, 200, std::string(4000, 'x')};
    if (body == "reset")
        return only(Misbehaviour::Reset);
    if (body == "not-http")
        return {Misbehaviour::NotHttp, 200, "this is not HTTP at all\r\n\r\n"};
    if (body == "endless-headers")
        return only(Misbehaviour::EndlessHeaders);
    if (body == "huge")
        return {Misbehaviour::HugeBody, 200, "", {}, 0, 20u * 1024u * 1024u};
    return {Misbehaviour::Answer, 200, "fine"};
}

// A port that was free a moment ago and that nothing listens on now.
int refusedPort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

} // namespace

int main() {
    LoopbackServer http;
    http.handle([&http](const httplib::Request& request, httplib::Response& response) {
        answer(http, request, response);
    });
    HostileServer hostile;
    hostile.script([](const std::string& body, std::size_t) { return hostileReply(body); });
    SelfSignedCertificate certificate("IP:127.0.0.1");
    if (!certificate.made()) {
        std::cerr << "zibbles-loopback-scenarios: the openssl tool cannot make a certificate\n";
        return 1;
    }
    httplib::SSLServer tls(certificate.certificate().c_str(), certificate.key().c_str());
    tls.Get(".*", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("secret", "text/plain");
    });
    const int tlsPort = tls.bind_to_any_port("127.0.0.1");
    std::thread tlsThread([&tls] { tls.listen_after_bind(); });

    const std::string hostilePort = hostile.url("").substr(hostile.url("").rfind(':') + 1);
    std::cout << "http=" << http.port() << " hostile=" << hostilePort << " tls=" << tlsPort
              << " refused=" << refusedPort() << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    http.release();
    tls.stop();
    tlsThread.join();
    return 0;
}
