#include "http_server.h"

#include <signal.h>
#include <stdio.h>

#include <array>
#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/serializer.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/optional.hpp>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace klv::update_server {
namespace {

namespace net = boost::asio;
namespace http = boost::beast::http;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;
using boost::system::error_code;

// An answer body held by reference count: the body cache shares one copy of
// each file's body among every connection sending it, so a connection costs
// the socket's buffers and never a copy of what it sends.
struct SharedBody {
    using value_type = Body;

    static std::uint64_t size(const value_type& body) { return body->size(); }

    class writer {
    public:
        using const_buffers_type = net::const_buffer;

        template <bool isRequest, class Fields>
        writer(const http::header<isRequest, Fields>&, const value_type& body) : body_(body) {}

        void init(error_code& ec) { ec = {}; }

        boost::optional<std::pair<const_buffers_type, bool>> get(error_code& ec) {
            ec = {};
            if (done_) return boost::none;
            done_ = true;
            return std::make_pair(net::const_buffer(body_->data(), body_->size()), false);
        }

    private:
        const value_type& body_;
        bool done_ = false;
    };
};

using Response = http::response<SharedBody>;
using RequestParser = http::request_parser<http::empty_body>;

std::string Text(boost::beast::string_view text) {
    return std::string(text.data(), text.size());
}

// The answers whose body is their reason phrase, made once.
Body PlainBody(int status) {
    static const std::unordered_map<int, Body> bodies = [] {
        std::unordered_map<int, Body> made;
        for (const int s : {400, 404, 405, 431, 500, 503})
            made[s] = std::make_shared<const std::string>(Text(http::obsolete_reason(static_cast<http::status>(s))));
        return made;
    }();
    return bodies.at(status);
}

Answer Plain(int status) {
    return Answer{status, PlainBody(status), {}};
}

void SetAnswerFields(Response& response, int status, std::size_t length, bool keepAlive) {
    response.version(11);
    response.result(static_cast<unsigned>(status));
    response.set(http::field::content_type, status == 200 ? "application/octet-stream" : "text/plain");
    response.set(http::field::content_length, std::to_string(length));
    // Said on every answer, as the launcher's client has always seen it.
    response.set(http::field::connection, keepAlive ? "keep-alive" : "close");
}

// What a client over a connection cap is told before it is closed: written
// once, without reading its request, so the refusal costs no slot.
const std::string& BusyAnswer() {
    static const std::string bytes = [] {
        Response response;
        SetAnswerFields(response, 503, 0, false);
        response.body() = std::make_shared<const std::string>();
        std::ostringstream text;
        text << response;
        return text.str();
    }();
    return bytes;
}

struct Loop;
class Connection;

}  // namespace

struct HttpServer::Impl {
    Impl(UpdateRequestHandler& h, RequestLog& l, const HttpLimits& lim) : handler(h), log(l), limits(lim) {}

    bool TakeSlot(std::uint32_t address);
    void ReleaseSlot(std::uint32_t address);
    void Accept();
    void OnAccept(Loop& target, error_code ec, tcp::socket socket);
    void Admit(Loop& target, tcp::socket socket, const tcp::endpoint& peer);
    void Stop();

    UpdateRequestHandler& handler;
    RequestLog& log;
    HttpLimits limits;

    std::mutex slotsMutex;
    int open = 0;
    std::unordered_map<std::uint32_t, int> openByAddress;
    std::atomic<bool> stopping{false};

    std::vector<std::unique_ptr<Loop>> loops;  // after what connections refer to: destroyed first
    std::size_t nextLoop = 0;
    std::unique_ptr<tcp::acceptor> acceptor;
    tcp::endpoint acceptedPeer;
    std::unique_ptr<net::steady_timer> acceptRetry;
    std::unique_ptr<net::signal_set> signals;
    int port = 0;
};

namespace {

// One event loop and its thread. A connection lives on one loop all its
// life, so nothing of it is ever touched by two threads.
struct Loop {
    std::unordered_set<Connection*> connections;
    bool flushPosted = false;
    net::io_context context{1};
    net::executor_work_guard<net::io_context::executor_type> work{context.get_executor()};
};

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(HttpServer::Impl& server, Loop& loop, tcp::socket socket, std::uint32_t address)
        : server_(server), loop_(loop), socket_(std::move(socket)), timer_(loop.context), address_(address) {
        loop_.connections.insert(this);
    }
    ~Connection() {
        loop_.connections.erase(this);
        server_.ReleaseSlot(address_);
    }

    void Start(const tcp::endpoint& peer, bool stopping) {
        if (stopping) return Close();
        peer_ = peer.address().to_string() + ":" + std::to_string(peer.port());
        error_code ec;
        socket_.set_option(tcp::no_delay(true), ec);  // head and body must not wait for an acknowledgement
        SetDeadline(Clock::now() + std::chrono::milliseconds(server_.limits.headTimeoutMs));
        NextRequest();
    }

    void Close() {
        if (closed_) return;
        closed_ = true;
        error_code ec;
        socket_.close(ec);
        timer_.cancel();
    }

private:
    enum class Parsed { NeedMore, Head, Refused };

    // Reads a head out of the bytes received so far, or waits for more.
    void NextRequest() {
        int refusal = 400;
        switch (Parse(refusal)) {
            case Parsed::NeedMore:
                return WaitForBytes();
            case Parsed::Head:
                return AnswerHead();
            case Parsed::Refused:
                Begin();
                in_.clear();
                return Send(Plain(refusal), false, "(unreadable request head)");
        }
    }

    Parsed Parse(int& refusal) {
        if (!parser_) {
            // Empty lines before a request are tolerated.
            std::size_t stray = 0;
            while (in_.size() >= stray + 2 && in_[stray] == '\r' && in_[stray + 1] == '\n') stray += 2;
            in_.erase(0, stray);
            if (in_.empty()) return Parsed::NeedMore;
            parser_.emplace();
            // The cap is checked here on the whole head; the parser's own
            // limit counts the request line and the fields apart.
            parser_->header_limit(static_cast<std::uint32_t>(server_.limits.maxHeadBytes));
            headScanned_ = 0;
        }
        const std::size_t cap = server_.limits.maxHeadBytes;
        const std::size_t from = headScanned_ > 3 ? headScanned_ - 3 : 0;
        const std::size_t end = std::string_view(in_).find("\r\n\r\n", from);
        headScanned_ = in_.size();
        if (end == std::string_view::npos ? in_.size() > cap : end + 4 > cap) {
            refusal = 431;
            return Parsed::Refused;
        }
        if (end == std::string_view::npos) return Parsed::NeedMore;
        error_code ec;
        const std::size_t used = parser_->put(net::buffer(in_), ec);
        in_.erase(0, used);
        headScanned_ = 0;
        if (ec == http::error::need_more) return Parsed::NeedMore;
        if (ec) {
            refusal = ec == http::error::header_limit ? 431 : 400;
            return Parsed::Refused;
        }
        return parser_->is_header_done() ? Parsed::Head : Parsed::NeedMore;
    }

    void WaitForBytes() {
        if (headSince_) {
            // A head has begun and is not whole: from now on it has its
            // deadline. A head that comes whole at once never moves the timer.
            SetDeadline(*headSince_ + std::chrono::milliseconds(server_.limits.headTimeoutMs));
            headSince_.reset();
        }
        const std::size_t cap = server_.limits.maxHeadBytes;
        const std::size_t room = cap + 1 > in_.size() ? cap + 1 - in_.size() : 1;
        socket_.async_read_some(net::buffer(chunk_.data(), std::min(room, chunk_.size())),
                                [self = shared_from_this()](error_code ec, std::size_t got) { self->OnRead(ec, got); });
    }

    void OnRead(error_code ec, std::size_t got) {
        if (ec || closed_) return Close();
        if (idle_) {
            // The first byte of a head on a kept-alive connection starts its deadline.
            idle_ = false;
            headSince_ = Clock::now();
        }
        Append(chunk_.data(), got);
        NextRequest();
    }

    // A lone LF ends a line as CR LF does (the launcher's client has always
    // been answered so); the parser is given CR LF throughout.
    void Append(const char* data, std::size_t size) {
        if (size == 0) return;
        const char* const end = data + size;
        while (data < end) {
            const char* lf = static_cast<const char*>(std::memchr(data, '\n', static_cast<std::size_t>(end - data)));
            const char* upTo = lf ? lf : end;
            in_.append(data, upTo);
            if (!lf) break;
            const char before = lf > data ? lf[-1] : last_;
            if (before != '\r') in_ += '\r';
            in_ += '\n';
            last_ = '\n';
            data = lf + 1;
        }
        last_ = end[-1];
    }

    void Begin() {
        started_ = Clock::now();
        mustFail_ = server_.log.Begin();
    }

    void AnswerHead() {
        Begin();
        headSince_.reset();
        const auto& request = parser_->get();
        std::string what = Text(request.method_string()) + " " + Text(request.target().substr(0, 200));
        requestLine_ = what + (request.version() == 10 ? " HTTP/1.0" : " HTTP/1.1");
        // A request body is not part of this protocol; rather than skip it,
        // end the connection after answering.
        const bool hasBody = parser_->chunked() || (parser_->content_length() && *parser_->content_length() > 0);
        const bool keepAlive = request.keep_alive() && !hasBody;
        if (mustFail_) return Send(Plain(503), keepAlive, what);
        if (request.method() != http::verb::get) return Send(Plain(405), keepAlive, what);
        if (hasBody) return Send(Plain(400), keepAlive, what);
        UpdateRequest parsed;
        if (!ParseUpdateRequest(Text(request.target()), parsed)) return Send(Plain(400), keepAlive, what);
        what = Printable(parsed.plainText);
        requestLine_ = Text(request.method_string()) + " " + LogPathOf(parsed) +
                       (request.version() == 10 ? " HTTP/1.0" : " HTTP/1.1");
        Answer answer;
        try {
            answer = server_.handler.Handle(parsed, Text(request[http::field::cookie]));
        } catch (const std::exception&) {
            // A file the body cannot hold, or memory running out: this
            // request fails, the server and its other clients go on.
            answer = Plain(500);
        }
        Send(std::move(answer), keepAlive, what);
    }

    void Send(Answer answer, bool keepAlive, std::string what) {
        what_ = std::move(what);
        status_ = answer.status;
        keepAlive_ = keepAlive;
        response_.emplace();
        SetAnswerFields(*response_, answer.status, answer.body->size(), keepAlive);
        if (!answer.setCookie.empty()) response_->set(http::field::set_cookie, answer.setCookie);
        response_->body() = std::move(answer.body);
        serializer_.emplace(*response_);
        WriteSome();
    }

    void WriteSome() {
        // Progress, not the whole answer, is what the deadline asks for: a
        // slow line may take long over a big file, a client that stops
        // reading is let go after the idle time.
        SetDeadline(Clock::now() + std::chrono::milliseconds(server_.limits.idleTimeoutMs));
        http::async_write_some(socket_, *serializer_,
                               [self = shared_from_this()](error_code ec, std::size_t) { self->OnWritten(ec); });
    }

    void OnWritten(error_code ec) {
        const bool sent = !ec && !closed_;
        if (sent && !serializer_->is_done()) return WriteSome();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started_).count();
        server_.log.Line(peer_, requestLine_, what_, status_, sent ? response_->body()->size() : 0, ms);
        ScheduleLogFlush();
        serializer_.reset();
        response_.reset();
        parser_.reset();
        if (!sent) return Close();
        if (!keepAlive_) return Linger();
        if (in_.empty()) {
            idle_ = true;
            SetDeadline(Clock::now() + std::chrono::milliseconds(server_.limits.idleTimeoutMs));
        } else {
            SetDeadline(Clock::now() + std::chrono::milliseconds(server_.limits.headTimeoutMs));
        }
        NextRequest();
    }

    // Ends a connection after its last answer without losing that answer:
    // closing with unread input would reset the connection, and the reset
    // can overtake the answer. So the sending side is shut, and what the
    // client still sends is read and dropped until it closes too, for a
    // short bounded time and amount.
    void Linger() {
        error_code ec;
        socket_.shutdown(tcp::socket::shutdown_send, ec);
        if (ec) return Close();
        lingerLeft_ = 1 << 20;
        SetDeadline(Clock::now() + std::chrono::milliseconds(std::min(2000, server_.limits.headTimeoutMs)));
        DrainInput();
    }

    void DrainInput() {
        socket_.async_read_some(net::buffer(chunk_), [self = shared_from_this()](error_code ec, std::size_t got) {
            if (ec || self->closed_ || got >= self->lingerLeft_) return self->Close();
            self->lingerLeft_ -= got;
            self->DrainInput();
        });
    }

    // Lines are written once the loop has nothing else ready: batched while
    // busy, at once when idle.
    void ScheduleLogFlush() {
        if (loop_.flushPosted) return;
        loop_.flushPosted = true;
        net::post(loop_.context, [&loop = loop_, &log = server_.log] {
            loop.flushPosted = false;
            log.Flush();
        });
    }

    // One timer per connection, re-armed only when a deadline comes sooner;
    // a later deadline is picked up when the timer fires.
    void SetDeadline(Clock::time_point when) {
        deadline_ = when;
        if (timerArmed_ && when >= timer_.expiry()) return;
        timer_.expires_at(when);
        timerArmed_ = true;
        timer_.async_wait([self = shared_from_this()](error_code ec) { self->OnTimer(ec); });
    }

    void OnTimer(error_code ec) {
        if (ec == net::error::operation_aborted || closed_) return;
        if (Clock::now() < deadline_) {
            timer_.expires_at(deadline_);
            timer_.async_wait([self = shared_from_this()](error_code inner) { self->OnTimer(inner); });
            return;
        }
        Close();
    }

    HttpServer::Impl& server_;
    Loop& loop_;
    tcp::socket socket_;
    net::steady_timer timer_;
    std::uint32_t address_;
    std::string peer_;
    std::string in_;  // received, not yet parsed (line ends made CR LF)
    char last_ = '\0';
    std::optional<RequestParser> parser_;
    std::optional<Response> response_;
    std::optional<http::response_serializer<SharedBody>> serializer_;
    Clock::time_point deadline_{};
    Clock::time_point started_{};
    bool timerArmed_ = false;
    bool closed_ = false;
    bool idle_ = false;
    std::optional<Clock::time_point> headSince_;  // first byte of a head after an idle time
    // What one read takes: a request of the launcher's fits at once. Held by
    // every connection, idle ones included, so kept small.
    std::array<char, 2048> chunk_;
    bool mustFail_ = false;
    bool keepAlive_ = false;
    int status_ = 0;
    std::size_t lingerLeft_ = 0;
    std::size_t headScanned_ = 0;  // bytes of in_ already searched for the head's end
    std::string what_;
    std::string requestLine_;  // the log's request line
};

}  // namespace

bool HttpServer::Impl::TakeSlot(std::uint32_t address) {
    std::lock_guard<std::mutex> lock(slotsMutex);
    if (open >= limits.maxConnections) return false;
    int& fromAddress = openByAddress[address];
    if (fromAddress >= limits.maxConnectionsPerAddress) return false;
    ++fromAddress;
    ++open;
    return true;
}

void HttpServer::Impl::ReleaseSlot(std::uint32_t address) {
    std::lock_guard<std::mutex> lock(slotsMutex);
    --open;
    const auto it = openByAddress.find(address);
    if (it != openByAddress.end() && --it->second <= 0) openByAddress.erase(it);
}

void HttpServer::Impl::Accept() {
    Loop& target = *loops[nextLoop++ % loops.size()];
    acceptor->async_accept(target.context, acceptedPeer, [this, &target](error_code ec, tcp::socket socket) {
        OnAccept(target, ec, std::move(socket));
    });
}

void HttpServer::Impl::OnAccept(Loop& target, error_code ec, tcp::socket socket) {
    if (stopping || ec == net::error::operation_aborted) return;
    if (ec) {
        // Out of descriptors or memory for a moment: try again shortly
        // rather than spin on an error that will not go away by itself.
        const int code = ec.value();
        if (code == EMFILE || code == ENFILE || code == ENOBUFS || code == ENOMEM) {
            acceptRetry->expires_after(std::chrono::milliseconds(50));
            acceptRetry->async_wait([this](error_code inner) {
                if (!inner && !stopping) Accept();
            });
            return;
        }
        return Accept();
    }
    Admit(target, std::move(socket), acceptedPeer);
    // A burst of connections is taken in one go rather than one per turn
    // of the loop, which also serves connections.
    for (int more = 0; more < 64; ++more) {
        Loop& next = *loops[nextLoop % loops.size()];
        tcp::socket another = acceptor->accept(next.context, acceptedPeer, ec);
        if (ec) break;
        ++nextLoop;
        Admit(next, std::move(another), acceptedPeer);
    }
    Accept();
}

void HttpServer::Impl::Admit(Loop& target, tcp::socket socket, const tcp::endpoint& peer) {
    const std::uint32_t address = peer.address().is_v4() ? peer.address().to_v4().to_uint() : 0;
    if (!TakeSlot(address)) {
        error_code ignored;
        socket.non_blocking(true, ignored);
        socket.write_some(net::buffer(BusyAnswer()), ignored);
        socket.close(ignored);
        return;
    }
    net::post(target.context, [this, &target, address, peer, accepted = std::move(socket)]() mutable {
        std::make_shared<Connection>(*this, target, std::move(accepted), address)->Start(peer, stopping.load());
    });
}

void HttpServer::Impl::Stop() {
    stopping = true;
    error_code ignored;
    acceptor->close(ignored);
    acceptRetry->cancel();
    signals->cancel(ignored);
    for (auto& loop : loops) {
        net::post(loop->context, [&l = *loop] {
            // Closing wakes every pending wait; each connection then ends
            // when its last handler has run.
            const std::vector<Connection*> closing(l.connections.begin(), l.connections.end());
            for (Connection* connection : closing) connection->Close();
        });
        loop->work.reset();
    }
}

HttpServer::HttpServer(UpdateRequestHandler& handler, RequestLog& log, const HttpLimits& limits)
    : impl_(std::make_unique<Impl>(handler, log, limits)) {
    const unsigned cores = std::thread::hardware_concurrency();
    const unsigned count = cores == 0 ? 1 : (cores > 64 ? 64 : cores);
    for (unsigned i = 0; i < count; ++i) impl_->loops.push_back(std::make_unique<Loop>());
    net::io_context& first = impl_->loops.front()->context;
    impl_->acceptor = std::make_unique<tcp::acceptor>(first);
    impl_->acceptRetry = std::make_unique<net::steady_timer>(first);
    // Caught from here on, before the first line says the server listens; a
    // signal that comes before Run waits for it.
    impl_->signals = std::make_unique<net::signal_set>(first, SIGINT, SIGTERM);
}

HttpServer::~HttpServer() = default;

bool HttpServer::Open(const std::string& address, int port) {
    error_code ec;
    const auto ip = net::ip::make_address_v4(address, ec);
    if (ec) {
        fprintf(stderr, "klv-update-server: not an IPv4 address: %s\n", address.c_str());
        return false;
    }
    tcp::acceptor& acceptor = *impl_->acceptor;
    const tcp::endpoint endpoint(ip, static_cast<unsigned short>(port));
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor.bind(endpoint, ec);
    // A deep backlog: a burst of thousands of connections waits in the
    // kernel rather than being refused.
    if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (!ec) acceptor.non_blocking(true, ec);  // the burst taken after each accept must not wait
    if (ec) {
        fprintf(stderr, "klv-update-server: cannot listen on %s:%d: %s\n", address.c_str(), port, ec.message().c_str());
        return false;
    }
    impl_->port = acceptor.local_endpoint(ec).port();
    return true;
}

int HttpServer::BoundPort() const {
    return impl_->port;
}

void HttpServer::Run() {
    Impl& impl = *impl_;
    impl.signals->async_wait([&impl](error_code ec, int) {
        if (!ec) impl.Stop();
    });
    impl.Accept();
    // A handler that throws (memory running out) costs its connection, not
    // the loop: the loop goes on with the others.
    const auto serve = [&impl](Loop& loop) {
        while (true) {
            try {
                loop.context.run();
                break;
            } catch (const std::exception& e) {
                fprintf(stderr, "klv-update-server: %s\n", e.what());
            }
        }
        impl.log.Flush();
    };
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < impl.loops.size(); ++i) threads.emplace_back(serve, std::ref(*impl.loops[i]));
    serve(*impl.loops.front());
    for (std::thread& thread : threads) thread.join();
}

}  // namespace klv::update_server
