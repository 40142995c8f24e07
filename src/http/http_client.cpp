#include "http/http_client.h"

#include "platform/socket.h"
#include "http/cookie_jar.h"
#include "http/http_body.h"
#include "http/http_input.h"
#include "http/http_request.h"
#include "http/http_response.h"
#include "http/http_url.h"

namespace klv {
namespace {

bool PortNumber(const std::string& text, std::uint16_t& port) {
    std::int32_t value = 0;
    if (!ParseInt32(text, value) || value <= 0 || value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool OffersBasic(const ResponseHead& head) {
    for (const std::string& challenge : head.wwwAuthenticate) {
        if (SameTextAscii(challenge.substr(0, 5), "Basic")) return true;
    }
    return false;
}

// Restores the input's read limit on every way out.
class TimeoutOverride {
public:
    TimeoutOverride(InputBuffer& input, int ms) : input_(input), saved_(input.TimeoutMs()) { input.SetTimeoutMs(ms); }
    ~TimeoutOverride() { input_.SetTimeoutMs(saved_); }
    TimeoutOverride(const TimeoutOverride&) = delete;
    TimeoutOverride& operator=(const TimeoutOverride&) = delete;

private:
    InputBuffer& input_;
    int saved_;
};

}  // namespace

struct HttpClient::Impl final : ByteSource, WorkListener {
    explicit Impl(HttpClient& owner) : owner_(owner) { input_.SetTimeoutMs(readTimeoutMs_); }

    void Get(const std::string& url, BodySink& sink);

    // The connection as the input buffer sees it; a close by the peer closes
    // the socket on this side too.
    std::size_t Receive(char* buffer, std::size_t capacity, int timeoutMs) override;
    void WorkBegin(std::int32_t countMax) override {
        if (owner_.OnWorkBegin) owner_.OnWorkBegin(owner_, WorkMode::Read, countMax);
    }
    void Work(std::int32_t count) override {
        if (owner_.OnWork) owner_.OnWork(owner_, WorkMode::Read, count);
    }
    void WorkEnd() override {
        if (owner_.OnWorkEnd) owner_.OnWorkEnd(owner_, WorkMode::Read);
    }

    void TakeTarget(const UrlParts& url);
    void ChooseConnection();
    ResponseHead ReadHeads();
    void Exchange(const std::string& target, BodySink& sink);
    bool KeepAliveHolds(const ResponseHead& head) const;
    void CloseConnection() {
        socket_.Close();
        input_.Reset();
    }

    HttpClient& owner_;
    platform::SocketLibrary library_;  // first in, last out: the socket needs it
    platform::TcpSocket socket_;
    InputBuffer input_{*this};
    WorkMeter meter_{this};
    std::unique_ptr<CookieJar> jar_;

    // The current target, carried from request to request.
    std::string protocol_;
    std::string host_;
    std::string port_;
    std::string path_ = "/";
    // Where the open connection goes.
    std::string connectedHost_;
    std::string connectedPort_;
    bool lastAllowedKeepAlive_ = true;
    bool sendBasicAuthorization_ = false;

    int connectTimeoutMs_ = kConnectTimeoutMs;
    int readTimeoutMs_ = kReadTimeoutMs;
    int responseCode_ = -1;
    std::string responseText_;
};

std::size_t HttpClient::Impl::Receive(char* buffer, std::size_t capacity, int timeoutMs) {
    platform::SocketFailure failure;
    std::size_t received = 0;
    switch (socket_.Receive(buffer, capacity, received, timeoutMs, failure)) {
        case platform::ReceiveStatus::Data:
            return received;
        case platform::ReceiveStatus::Closed:
            socket_.Close();
            return 0;
        case platform::ReceiveStatus::TimedOut:
            throw EIdReadTimeout();
        case platform::ReceiveStatus::Failed:
            break;
    }
    throw EIdSocketError(failure.code, failure.text);
}

void HttpClient::Impl::TakeTarget(const UrlParts& url) {
    path_ = ResolvePath(path_, url.path);
    if (!url.host.empty()) host_ = url.host;
    protocol_ = url.protocol.empty() ? "http" : url.protocol;
    if (!url.port.empty()) {
        port_ = url.port;
        return;
    }
    std::uint16_t previous = 0;
    if (!PortNumber(port_, previous) || previous == 80 || previous == 443) {
        if (SameTextAscii(protocol_, "http")) {
            port_ = "80";
        } else if (SameTextAscii(protocol_, "https")) {
            port_ = "443";
        } else {
            throw EIdUnknownProtocol();
        }
    }
}

void HttpClient::Impl::ChooseConnection() {
    if (socket_.IsOpen() && (!SameTextAscii(host_, connectedHost_) || port_ != connectedPort_)) CloseConnection();
    if (SameTextAscii(protocol_, "https")) throw EIdException("IOHandler value is not valid");
    if (!lastAllowedKeepAlive_) CloseConnection();
    // An idle kept-alive connection has nothing to say: data or a close found
    // here means it is stale, and an answer read from it would be wrong. The
    // previous answer was read to its end, so whatever could make the
    // connection stale has already arrived if it exists: asking costs no wait
    // (a wait of even 1 ms here cost 2 s on a package of 2,000 files).
    if (socket_.IsOpen() && socket_.ReadableWithin(0)) CloseConnection();
    if (socket_.IsOpen()) return;
    std::uint16_t port = 0;
    if (!PortNumber(port_, port)) {
        const platform::SocketFailure failure = platform::MakeSocketFailure(platform::kSocketAddressNotAvailable);
        throw EIdSocketError(failure.code, failure.text);
    }
    input_.Reset();
    platform::SocketFailure failure;
    if (!socket_.Connect(host_, port, connectTimeoutMs_, failure)) throw EIdSocketError(failure.code, failure.text);
    connectedHost_ = host_;
    connectedPort_ = port_;
}

ResponseHead HttpClient::Impl::ReadHeads() {
    for (;;) {
        ResponseHead head = ReadResponseHead(input_);
        // Every head, interim ones included, may set cookies.
        if (!jar_) jar_ = std::make_unique<CookieJar>();
        for (const std::string& line : head.setCookies) jar_->Offer(line, host_);
        if (head.status != 100) return head;
    }
}

bool HttpClient::Impl::KeepAliveHolds(const ResponseHead& head) const {
    // Bytes left over after a complete answer can only be garbage; keeping the
    // connection would make them the start of the next answer.
    return socket_.IsOpen() && !input_.PeerClosed() && input_.Buffered() == 0 &&
           !SameTextAscii(Trim(head.connection), "close") && !SameTextAscii(Trim(head.proxyConnection), "close");
}

void HttpClient::Impl::Exchange(const std::string& target, BodySink& sink) {
    RequestHeadFields fields;
    fields.target = target;
    fields.host = port_ == "80" ? host_ : host_ + ":" + port_;
    if (sendBasicAuthorization_) fields.authorization = BasicAuthorization("", "");
    if (jar_) fields.cookie = jar_->CookieHeaderFor(host_, path_);
    const std::string request = BuildRequestHead(fields);
    platform::SocketFailure failure;
    if (!socket_.SendAll(request.data(), request.size(), failure)) throw EIdSocketError(failure.code, failure.text);

    const ResponseHead head = ReadHeads();
    responseCode_ = head.status;
    responseText_ = head.statusLine;
    if (head.status == 401 && OffersBasic(head)) sendBasicAuthorization_ = true;

    const bool redirect = (head.status / 100 == 3 && head.status != 304) || !head.location.empty();
    if (redirect || head.status < 200 || head.status > 299) {
        MemoryStream body;
        {
            TimeoutOverride limit(input_, kErrorBodyTimeoutMs);
            try {
                ReadBody(input_, head, body, meter_);
            } catch (const EIdConnClosedGracefully&) {
                // The status is the news; a body cut short does not change it.
            }
        }
        lastAllowedKeepAlive_ = KeepAliveHolds(head);
        throw EIdHTTPProtocolException(head.status, head.statusLine, redirect ? std::string() : body.Release());
    }
    if (!socket_.IsOpen()) throw EIdException("Undefined situation");
    if (head.status != 204) ReadBody(input_, head, sink, meter_);
    lastAllowedKeepAlive_ = KeepAliveHolds(head);
}

void HttpClient::Impl::Get(const std::string& url, BodySink& sink) {
    const UrlParts parts = ParseUrl(url);
    TakeTarget(parts);
    ChooseConnection();
    lastAllowedKeepAlive_ = false;
    try {
        Exchange(path_ + parts.document + parts.params, sink);
    } catch (const EIdHTTPProtocolException&) {
        if (!lastAllowedKeepAlive_) CloseConnection();
        throw;
    } catch (const std::bad_alloc&) {
        // Any other buffer of the exchange that cannot grow fails the call
        // like the sink does, rather than escaping as a foreign failure.
        lastAllowedKeepAlive_ = false;
        CloseConnection();
        throw EOutOfMemory(kStreamOutOfMemoryText);
    } catch (...) {
        // A failure mid-exchange leaves the connection in an unknown state.
        lastAllowedKeepAlive_ = false;
        CloseConnection();
        throw;
    }
    if (!lastAllowedKeepAlive_) CloseConnection();
}

HttpClient::HttpClient() : impl_(std::make_unique<Impl>(*this)) {}
HttpClient::~HttpClient() = default;

void HttpClient::Get(const std::string& url, BodySink& sink) {
    impl_->Get(url, sink);
}

std::string HttpClient::Get(const std::string& url) {
    MemoryStream body;
    Get(url, body);
    return body.Release();
}

int HttpClient::ResponseCode() const {
    return impl_->responseCode_;
}
const std::string& HttpClient::ResponseText() const {
    return impl_->responseText_;
}

void HttpClient::SetConnectTimeoutMs(int ms) {
    impl_->connectTimeoutMs_ = ms;
}
void HttpClient::SetReadTimeoutMs(int ms) {
    impl_->readTimeoutMs_ = ms;
    impl_->input_.SetTimeoutMs(ms);
}

}  // namespace klv
