#include "CatalogueServer.h"

#include "CatalogueRoutes.h"
#include "FaultInjector.h"
#include "SampleCatalogue.h"
#include "SuggestionDesk.h"

#include <QCryptographicHash>

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// Connections served at once: several clients of up to six connections each,
// and the connections a stalled fault keeps.
constexpr size_t kWorkers = 64;

} // namespace

struct CatalogueServer::Impl {
    explicit Impl(Options o)
        : options(std::move(o)),
          catalogue(options.seed),
          desk(catalogue, options.suggestionLimit, options.suggestionWindowSeconds),
          faults(options.faultShare, options.faultSeed)
    {
    }

    void serve(const httplib::Request& in, httplib::Response& out);
    void injectFault(FaultInjector::Fault fault, const QByteArray& body, const QByteArray& contentType,
                     httplib::Response& out);

    Options options;
    SampleCatalogue catalogue;
    SuggestionDesk desk;
    std::unique_ptr<CatalogueRoutes> routes;
    FaultInjector faults;
    std::atomic<bool> stopping = false;  // ends stalled bodies
    httplib::Server server;
    std::thread thread;
    int port = 0;
    bool started = false;  // an httplib server listens once
};

void CatalogueServer::Impl::serve(const httplib::Request& in, httplib::Response& out)
{
    CatalogueRoutes::Request request;
    request.method = QByteArray::fromStdString(in.method);
    const QUrl target(QStringLiteral("http://127.0.0.1") + QString::fromStdString(in.target));
    request.path = target.path(QUrl::FullyDecoded).mid(1);
    request.query = QUrlQuery(target.query(QUrl::FullyEncoded));
    for (const auto& [name, value] : in.headers)
        request.headers.insert(QByteArray::fromStdString(name).toLower(), QByteArray::fromStdString(value));
    request.body = QByteArray::fromStdString(in.body);
    request.client = QString::fromStdString(in.remote_addr);

    const CatalogueRoutes::Reply reply = routes->answer(request);
    for (const auto& [name, value] : reply.headers)
        out.set_header(name.toStdString(), value.toStdString());
    out.status = reply.status;
    const bool read = request.method == "GET" || request.method == "HEAD";
    if (request.method == "GET") {
        if (const std::optional<FaultInjector::Fault> fault = faults.next()) {
            std::fprintf(stderr, "fault %s %s\n", qPrintable(FaultInjector::name(*fault)), in.target.c_str());
            injectFault(*fault, reply.body, reply.contentType, out);
            return;
        }
    }
    if (read && reply.status == 200) {
        const QByteArray tag = entityTag(reply.body);
        out.set_header("ETag", tag.toStdString());
        out.set_header("Cache-Control", "no-cache");
        if (matchesAny(request.headers.value("if-none-match"), tag)) {
            out.status = 304;
            return;
        }
    }
    out.set_content(reply.body.toStdString(), reply.contentType.toStdString());
}

void CatalogueServer::Impl::injectFault(FaultInjector::Fault fault, const QByteArray& body,
                                        const QByteArray& contentType, httplib::Response& out)
{
    using Fault = FaultInjector::Fault;
    const std::string type = contentType.isEmpty() ? std::string("application/json") : contentType.toStdString();
    auto shared = std::make_shared<std::string>(body.toStdString());
    switch (fault) {
    case Fault::Status500:
        out.status = 500;
        out.set_content("internal error", "text/plain");
        return;
    case Fault::Status503:
    case Fault::Status429:
        out.status = fault == Fault::Status503 ? 503 : 429;
        out.set_header("Retry-After", "30");
        out.set_content(fault == Fault::Status503 ? "unavailable" : "slow down", "text/plain");
        return;
    case Fault::ClosedConnection:
        // The headers announce the body, then the provider gives up: the
        // library closes the connection without a byte of it.
        out.set_content_provider(shared->size(), type, [](size_t, size_t, httplib::DataSink&) { return false; });
        return;
    case Fault::TruncatedBody:
        out.set_content_provider(shared->size(), type, [shared](size_t offset, size_t, httplib::DataSink& sink) {
            if (offset > 0 || shared->size() < 2)
                return false;
            return sink.write(shared->data(), shared->size() / 2);
        });
        return;
    case Fault::MalformedJson:
        out.set_content(FaultInjector::malformed(body).toStdString(), type);
        return;
    case Fault::StalledBody:
        out.set_content_provider(shared->size(), type, [this, shared](size_t offset, size_t, httplib::DataSink& sink) {
            if (offset == 0 && shared->size() >= 2)
                return sink.write(shared->data(), shared->size() / 2);
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(options.stallSeconds);
            while (!stopping && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return false;
        });
        return;
    case Fault::NotModifiedUnknownTag:
        out.status = 304;
        return;
    }
}

CatalogueServer::CatalogueServer() : CatalogueServer(Options{}) {}

CatalogueServer::CatalogueServer(Options options) : d(std::make_unique<Impl>(std::move(options))) {}

CatalogueServer::~CatalogueServer()
{
    stop();
}

Result<void> CatalogueServer::start()
{
    if (d->started)
        return fail(ErrorKind::Unavailable, QStringLiteral("the server was already started"));
    // Address reuse for quick restarts, but no port sharing: the library's
    // default also sets SO_REUSEPORT, which would let a second server bind a
    // port that is already taken and split the requests between the two.
    d->server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const void*>(&yes), sizeof(yes));
    });
    // Small answers go out at once; an idle kept-alive connection holds a
    // worker (and stop()) for at most a second.
    d->server.set_tcp_nodelay(true);
    d->server.set_keep_alive_timeout(1);
    // Every connection holds a worker while it is open, idle or not, and a
    // client opens several per network manager. With the library's pool of
    // about one worker per core, a new connection waited until an idle one
    // timed out; enough workers for every client serve it at once.
    d->server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    // The forms are small; a body past this is refused with 413 unread.
    d->server.set_payload_max_length(64 * 1024);
    int port = d->options.port;
    if (port == 0) {
        port = d->server.bind_to_any_port("127.0.0.1");
        if (port <= 0)
            return fail(ErrorKind::Transport, QStringLiteral("could not bind 127.0.0.1"));
    } else if (!d->server.bind_to_port("127.0.0.1", port)) {
        return fail(ErrorKind::Transport, QStringLiteral("could not bind 127.0.0.1:%1 (in use?)").arg(port));
    }
    d->port = port;
    d->started = true;
    d->routes = std::make_unique<CatalogueRoutes>(d->catalogue, d->desk, baseUrl(), d->options.now);

    auto handler = [this](const httplib::Request& in, httplib::Response& out) { d->serve(in, out); };
    d->server.Get(".*", handler);
    d->server.Post(".*", handler);
    d->server.Put(".*", handler);
    d->server.Delete(".*", handler);
    d->server.Patch(".*", handler);
    if (d->options.logRequests) {
        d->server.set_logger([](const httplib::Request& in, const httplib::Response& out) {
            std::fprintf(stderr, "%s %s -> %d\n", in.method.c_str(), in.target.c_str(), out.status);
        });
    }
    d->thread = std::thread([this] { d->server.listen_after_bind(); });
    while (!d->server.is_running())
        std::this_thread::yield();
    return {};
}

void CatalogueServer::stop()
{
    d->stopping = true;
    d->server.stop();
    if (d->thread.joinable())
        d->thread.join();
}

bool CatalogueServer::isRunning() const
{
    return d->server.is_running();
}

int CatalogueServer::port() const
{
    return d->port;
}

QUrl CatalogueServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(d->port));
}

quint64 CatalogueServer::seed() const
{
    return d->options.seed;
}

const SampleCatalogue& CatalogueServer::catalogue() const
{
    return d->catalogue;
}

QList<QJsonObject> CatalogueServer::feedbackReceived() const
{
    return d->desk.feedbackReceived();
}

QList<QJsonObject> CatalogueServer::suggestionsReceived() const
{
    return d->desk.suggestionsReceived();
}

QByteArray CatalogueServer::entityTag(const QByteArray& body)
{
    return '"' + QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex().left(24) + '"';
}

bool CatalogueServer::matchesAny(const QByteArray& ifNoneMatch, const QByteArray& tag)
{
    for (QByteArray candidate : ifNoneMatch.split(',')) {
        candidate = candidate.trimmed();
        if (candidate == "*")
            return true;
        if (candidate.startsWith("W/"))
            candidate = candidate.mid(2);
        QByteArray own = tag;
        if (own.startsWith("W/"))
            own = own.mid(2);
        if (!candidate.isEmpty() && candidate == own)
            return true;
    }
    return false;
}
