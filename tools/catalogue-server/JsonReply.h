#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

// A status and a JSON body, as the reply builders hand them to the server.
struct JsonReply {
    int status = 200;
    QJsonDocument body;

    static JsonReply ok(const QJsonObject& object) { return {200, QJsonDocument(object)}; }
    // {"error":{"message":…}}, the server API's failure form.
    static JsonReply error(int status, const QString& message)
    {
        return {status, QJsonDocument(QJsonObject{{"error", QJsonObject{{"message", message}}}})};
    }
};
