#include "LoopbackServer.h"

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <thread>

struct LoopbackServer::Impl {
    httplib::Server server;
    std::thread thread;
    int port = 0;
    mutable std::mutex mutex;
    std::condition_variable stopped;
    std::atomic<bool> stopping{false};
    QMap<QString, QList<Response>> scripts;
    QMap<QString, Handler> handlers;
    Handler fallbackHandler;
    QList<Request> requests;

    void waitInterruptibly(std::chrono::milliseconds delay)
    {
        std::unique_lock lock(mutex);
        stopped.wait_for(lock, delay, [this] { return stopping.load(); });
    }

    Response answer(const Request& request)
    {
        Handler handler;
        {
            std::lock_guard lock(mutex);
            requests.append(request);
            if (auto it = scripts.find(request.path); it != scripts.end() && !it->isEmpty())
                return it->size() > 1 ? it->takeFirst() : it->first();
            handler = handlers.value(request.path, fallbackHandler);
        }
        if (handler)
            return handler(request);
        return Response::withStatus(404);
    }

    void serve(const httplib::Request& in, httplib::Response& out)
    {
        Request request;
        request.method = QByteArray::fromStdString(in.method);
        request.rawTarget = QString::fromStdString(in.target);
        const QUrl target(QStringLiteral("http://127.0.0.1") + request.rawTarget);
        request.path = target.path(QUrl::FullyDecoded);
        request.query = QUrlQuery(target.query(QUrl::FullyEncoded));
        for (const auto& [name, value] : in.headers)
            request.headers.insert(QByteArray::fromStdString(name).toLower(), QByteArray::fromStdString(value));
        request.body = QByteArray::fromStdString(in.body);

        const Response r = answer(request);
        if (r.delay.count() > 0)
            waitInterruptibly(r.delay);
        out.status = r.status;
        for (const auto& [name, value] : r.headers)
            out.set_header(name.toStdString(), value.toStdString());
        const std::string body = r.body.toStdString();
        const std::string type = r.contentType.toStdString();
        if (r.stall) {
            out.set_content_provider(body.size() + 1, type,
                [this, body](size_t offset, size_t, httplib::DataSink& sink) {
                    if (offset == 0 && !body.empty())
                        sink.write(body.data(), std::min<size_t>(body.size(), 16));
                    waitInterruptibly(std::chrono::minutes(5));
                    return false;
                });
        } else if (r.cutAfter >= 0 && r.chunked) {
            const size_t cut = std::min<size_t>(size_t(r.cutAfter), body.size());
            out.set_chunked_content_provider(type, [body, cut](size_t offset, httplib::DataSink& sink) {
                if (offset < cut)
                    return sink.write(body.data() + offset, cut - offset);
                return false;  // closes the connection without the last chunk
            });
        } else if (r.chunked) {
            out.set_chunked_content_provider(type, [body](size_t offset, httplib::DataSink& sink) {
                if (offset < body.size())
                    return sink.write(body.data() + offset, body.size() - offset);
                sink.done();
                return true;
            });
        } else if (r.cutAfter >= 0) {
            const size_t cut = std::min<size_t>(size_t(r.cutAfter), body.size());
            out.set_content_provider(body.size(), type,
                [this, body, cut, pause = r.cutPause](size_t offset, size_t, httplib::DataSink& sink) {
                    if (offset < cut)
                        return sink.write(body.data() + offset, cut - offset);
                    if (pause.count() > 0)
                        waitInterruptibly(pause);
                    return false;  // closes the connection early
                });
        } else if (!body.empty() || r.status != 304) {
            out.set_content(body, type);
        }
    }
};

LoopbackServer::Response LoopbackServer::Response::json(const QByteArray& body, int status)
{
    return text(body, "application/json", status);
}

LoopbackServer::Response LoopbackServer::Response::text(const QByteArray& body, const QByteArray& contentType,
                                                        int status)
{
    Response r = withStatus(status);
    r.body = body;
    r.contentType = contentType;
    return r;
}

LoopbackServer::Response LoopbackServer::Response::withStatus(int status)
{
    Response r;
    r.status = status;
    return r;
}

LoopbackServer::Response& LoopbackServer::Response::header(const QByteArray& name, const QByteArray& value)
{
    headers.append({name, value});
    return *this;
}

LoopbackServer::LoopbackServer() : d(std::make_unique<Impl>())
{
    auto handler = [this](const httplib::Request& in, httplib::Response& out) { d->serve(in, out); };
    d->server.Get(".*", handler).Post(".*", handler).Put(".*", handler).Delete(".*", handler).Patch(".*", handler);
    d->server.set_keep_alive_max_count(100);
    d->server.set_tcp_nodelay(true);  // small scripted answers must not wait for delayed ACKs
    d->port = d->server.bind_to_any_port("127.0.0.1");
    d->thread = std::thread([this] { d->server.listen_after_bind(); });
    while (!d->server.is_running())
        std::this_thread::yield();
}

LoopbackServer::~LoopbackServer() { stop(); }

void LoopbackServer::stop()
{
    {
        std::lock_guard lock(d->mutex);
        d->stopping = true;
    }
    d->stopped.notify_all();
    d->server.stop();
    if (d->thread.joinable())
        d->thread.join();
}

int LoopbackServer::port() const { return d->port; }

QUrl LoopbackServer::baseUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(d->port)); }

QUrl LoopbackServer::url(const QString& path) const
{
    QString p = path;
    while (p.startsWith(QLatin1Char('/')))
        p.remove(0, 1);
    return QUrl(baseUrl().toString() + p);
}

void LoopbackServer::route(const QString& path, Response response) { script(path, {std::move(response)}); }

void LoopbackServer::script(const QString& path, QList<Response> responses)
{
    std::lock_guard lock(d->mutex);
    d->scripts.insert(path, std::move(responses));
}

void LoopbackServer::handle(const QString& path, Handler handler)
{
    std::lock_guard lock(d->mutex);
    d->scripts.remove(path);
    d->handlers.insert(path, std::move(handler));
}

void LoopbackServer::fallback(Handler handler)
{
    std::lock_guard lock(d->mutex);
    d->fallbackHandler = std::move(handler);
}

QList<LoopbackServer::Request> LoopbackServer::requests() const
{
    std::lock_guard lock(d->mutex);
    return d->requests;
}

QList<LoopbackServer::Request> LoopbackServer::requestsFor(const QString& path) const
{
    std::lock_guard lock(d->mutex);
    QList<Request> out;
    for (const Request& r : d->requests)
        if (r.path == path)
            out.append(r);
    return out;
}

int LoopbackServer::requestCount(const QString& path) const
{
    return path.isEmpty() ? int(requests().size()) : int(requestsFor(path).size());
}

void LoopbackServer::clearRequests()
{
    std::lock_guard lock(d->mutex);
    d->requests.clear();
}
