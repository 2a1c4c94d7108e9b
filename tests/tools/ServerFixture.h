#pragma once

#include "CatalogueServer.h"
#include "platform/net/Http.h"

#include "Await.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <atomic>
#include <gtest/gtest.h>

// A running catalogue server whose clock the test sets, and a real HTTP
// client to talk to it.
class ServerFixture : public ::testing::Test {
protected:
    explicit ServerFixture(quint64 seed = 7) : server(optionsFor(seed)) {}

    void SetUp() override
    {
        const auto started = server.start();
        ASSERT_TRUE(started.has_value()) << started.error().description.toStdString();
    }

    CatalogueServer::Options optionsFor(quint64 seed)
    {
        CatalogueServer::Options options;
        options.seed = seed;
        options.now = [this] { return now(); };
        return options;
    }

    QDateTime now() const { return QDateTime::fromMSecsSinceEpoch(nowMs.load(), Qt::UTC); }
    void advanceMinutes(int minutes) { nowMs += qint64(minutes) * 60'000; }

    // Sends to `url`, or to a path of this server; `body` makes it a JSON POST.
    HttpResponse send(const QString& url, QList<std::pair<QByteArray, QByteArray>> headers = {},
                      const QByteArray& method = "GET", const QByteArray& body = {})
    {
        HttpRequest request(QUrl(url.startsWith(u"http") ? url : server.baseUrl().toString() + url));
        request.headers = std::move(headers);
        request.method = method;
        request.body = body;
        if (!body.isEmpty())
            request.header("Content-Type", "application/json");
        auto result = awaitTask(httpSend(&nam, std::move(request)));
        if (!result || !result->has_value()) {
            ADD_FAILURE() << "request failed: " << (result ? result->error().description.toStdString() : "timeout");
            return {};
        }
        return **result;
    }
    HttpResponse get(const QString& path, QList<std::pair<QByteArray, QByteArray>> headers = {}) { return send(path, headers); }
    HttpResponse post(const QString& path, const QByteArray& body) { return send(path, {}, "POST", body); }

    static QJsonObject objectOf(const HttpResponse& response)
    {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(response.body, &error);
        EXPECT_TRUE(error.error == QJsonParseError::NoError && doc.isObject()) << response.body.left(200).toStdString();
        return doc.object();
    }
    // The message of a {"error":{"message":…}} reply.
    static QString errorMessage(const HttpResponse& response) { return objectOf(response).value("error")["message"].toString(); }

    // GET that must answer 200 with a JSON object.
    QJsonObject getJson(const QString& path)
    {
        const HttpResponse response = get(path);
        EXPECT_EQ(response.status, 200) << path.toStdString() << ": " << response.body.left(200).toStdString();
        return objectOf(response);
    }

    std::atomic<qint64> nowMs{QDateTime(QDate(2026, 1, 15), QTime(12, 0, 30), Qt::UTC).toMSecsSinceEpoch()};
    CatalogueServer server;
    QNetworkAccessManager nam;
};
