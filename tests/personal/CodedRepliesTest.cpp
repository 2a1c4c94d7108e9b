// Feed replies in every content coding requests offer. One cut off in
// transit is never a shorter whole body: it is a transport failure, and the
// feed keeps what it had.
#include "personal/FeedFetcher.h"
#include "personal/PersonalFeedStore.h"
#include "platform/storage/Defaults.h"
#include "platform/net/ContentDecoder.h"
#include "platform/net/Http.h"

#include "Await.h"
#include "Codings.h"
#include "FakeTime.h"
#include "LoopbackServer.h"

#include <QLocale>
#include <QNetworkAccessManager>

#include <gtest/gtest.h>

namespace {

using Response = LoopbackServer::Response;

using Codings::encoded;

// Ten dated headlines with enough words that two thirds of any coding of
// them still hold several whole entries.
QByteArray tenHeadlines(const char* prefix)
{
    QString items;
    for (int i = 0; i < 10; ++i) {
        const QDateTime at = QDateTime(QDate(2024, 1, 1), QTime(i, 0), Qt::UTC);
        items += QStringLiteral("<item><title>%1 %2</title><link>https://example.com/%1-%2</link><pubDate>%3 +0000</pubDate>"
                                "<description>Report %2: %4</description></item>\n")
                     .arg(QString::fromLatin1(prefix)).arg(i)
                     .arg(QLocale::c().toString(at, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")))
                     .arg(QString::number(quint64(i + 1) * 0x9E3779B97F4A7C15ULL, 36).repeated(6));
    }
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>Wire</title>\n")
            + items + QStringLiteral("</channel></rss>\n")).toUtf8();
}

QStringList titlesOf(const QList<FeedItem>& items)
{
    QStringList titles;
    for (const FeedItem& item : items)
        titles.append(item.title);
    return titles;
}

TEST(CodedReplies, CutInEveryCodingIsATransportFailureAndAFeedKeepsItsItems)
{
    enum class Cut { InTransit, InTransitChunked, InsideTheStream };
    const struct { const char* name; QByteArray coding; Cut cut; } rows[] = {
        {"plain", "", Cut::InTransit},
        // Chunked, the coded stream's own end tells a cut body. An uncoded
        // one has none: Qt's HTTP/1 reader sometimes finishes a reply whose
        // connection closed before the last chunk as whole, so the feed
        // must find the cut in the document.
        {"plain chunked", "", Cut::InTransitChunked},
        {"gzip", "gzip", Cut::InTransit},
        {"deflate", "deflate", Cut::InTransit},
        {"zstd", "zstd", Cut::InTransit},
        {"br", "br", Cut::InTransit},
        {"gzip chunked", "gzip", Cut::InTransitChunked},
        {"br chunked", "br", Cut::InTransitChunked},
        // Every byte announced arrives, but the coded stream itself stops short.
        {"gzip stream", "gzip", Cut::InsideTheStream},
        {"deflate stream", "deflate", Cut::InsideTheStream},
        {"raw deflate stream", "raw deflate", Cut::InsideTheStream},
        {"zstd stream", "zstd", Cut::InsideTheStream},
        {"br stream", "br", Cut::InsideTheStream},
    };
    LoopbackServer server;
    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    QNetworkAccessManager nam;
    PersonalFeedStore store(*defaults, time, time, &nam);

    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = QStringLiteral("/") + QString::fromLatin1(row.name).replace(QLatin1Char(' '), QLatin1Char('-'));
        const QByteArray kept = tenHeadlines("kept");
        const QByteArray coded = encoded(row.coding, tenHeadlines("new"));
        const QByteArray label = row.coding == "raw deflate" ? QByteArray("deflate") : row.coding;
        auto reply = [&](const QByteArray& body) {
            Response r = Response::text(body, "application/rss+xml");
            if (!label.isEmpty())
                r.header("Content-Encoding", label);
            return r;
        };

        // Whole, the same coding reads back as it was sent.
        server.route(path, reply(coded));
        const auto whole = awaitTask(httpSend(&nam, HttpRequest(server.url(path))));
        ASSERT_TRUE(whole.has_value());
        ASSERT_TRUE(whole->has_value()) << whole->error().description.toStdString();
        EXPECT_EQ((*whole)->body, tenHeadlines("new"));
        EXPECT_TRUE((*whole)->wholeKnown);
        QList<QByteArray> offered;
        for (const QByteArray& coding : server.requestsFor(path).last().header("Accept-Encoding").split(','))
            offered.append(coding.trimmed());
        EXPECT_TRUE(label.isEmpty() || offered.contains(label)) << "the request does not offer " << label.constData();

        Response cut = reply(row.cut == Cut::InsideTheStream ? coded.left(coded.size() * 2 / 3) : coded);
        if (row.cut != Cut::InsideTheStream) {
            cut.cutAfter = coded.size() * 2 / 3;
            cut.chunked = row.cut == Cut::InTransitChunked;
        }
        server.route(path, cut);
        const auto r = awaitTask(httpSend(&nam, HttpRequest(server.url(path))));
        ASSERT_TRUE(r.has_value());
        if (row.coding.isEmpty() && row.cut == Cut::InTransitChunked && r->has_value())
            EXPECT_FALSE((*r)->wholeKnown) << "a cut chunked body of " << (*r)->body.size() << " bytes claims to be whole";
        else
            EXPECT_EQ(r->has_value() ? std::nullopt : std::optional(r->error().kind), ErrorKind::Transport)
                << "read as a whole body of " << (r->has_value() ? (*r)->body.size() : 0) << " bytes";

        // A feed that holds ten headlines keeps them, with its bookkeeping.
        server.route(path, Response::text(kept, "application/rss+xml"));
        const auto added = awaitTask(store.add(server.url(path).toString()));
        ASSERT_EQ(added.value_or(PersonalFeedStore::AddResult::failed({})).kind, PersonalFeedStore::AddResult::Kind::Added);
        const PersonalFeed before = store.feeds().last();
        const QStringList keptTitles = titlesOf(store.items());
        ASSERT_EQ(keptTitles.size(), 10);
        server.route(path, cut);
        time.advanceSeconds(60);
        awaitTask(store.refreshAll());
        ASSERT_EQ(store.feeds().size(), 1);
        const PersonalFeed after = store.feeds().last();
        EXPECT_EQ(titlesOf(store.items()), keptTitles);
        EXPECT_EQ(after.lastFetchedAt, before.lastFetchedAt);
        EXPECT_EQ(after.itemCount, 10);
        EXPECT_EQ(after.lastError, QStringLiteral("Could not reach 127.0.0.1"));
        store.remove(after.id);
    }
}

// Only an announced length or a coding's own end shows a body to be whole;
// an uncoded chunked one that arrived in full cannot show it.
TEST(CodedReplies, WholeOnlyWhenALengthOrACodingShowsIt)
{
    LoopbackServer server;
    QNetworkAccessManager nam;
    const QByteArray plain = tenHeadlines("whole");
    const struct { const char* name; QByteArray coding; bool chunked; QByteArray body; bool whole; } rows[] = {
        {"plain with length", "", false, plain, true},
        {"empty with length", "", false, "", true},
        {"plain chunked", "", true, plain, false},
        {"gzip chunked", "gzip", true, plain, true},
        {"zstd chunked", "zstd", true, plain, true},
        {"br chunked", "br", true, plain, true},
    };
    for (const auto& row : rows) {
        Response r = Response::text(encoded(row.coding, row.body), "application/rss+xml");
        if (!row.coding.isEmpty())
            r.header("Content-Encoding", row.coding);
        r.chunked = row.chunked;
        server.route(QStringLiteral("/w"), r);
        const auto reply = awaitTask(httpSend(&nam, HttpRequest(server.url(QStringLiteral("w")))));
        ASSERT_TRUE(reply.has_value());
        ASSERT_TRUE(reply->has_value()) << row.name << ": " << reply->error().description.toStdString();
        EXPECT_EQ((*reply)->body, row.body) << row.name;
        EXPECT_EQ((*reply)->wholeKnown, row.whole) << row.name;
    }
}

// A feed document that stops inside its root fails as a cut transfer only
// when nothing shows its body to be whole; otherwise, and for a document
// broken before its end, the entries read before the break are taken.
TEST(CodedReplies, AFeedEndingInsideItsRootFailsOnlyWhenItsBodyCannotBeShownWhole)
{
    const QByteArray full = tenHeadlines("new");
    const qsizetype fourth = full.indexOf("</item>", full.indexOf("new 3")) + 7;
    const QByteArray endsInText = full.left(fourth) + "<item><title>new 4";
    const QByteArray endsInTag = full.left(fourth) + "<ite";
    QByteArray brokenMidway = full;
    brokenMidway.replace("<title>new 4</title>", "<title>new 4</titel>");
    auto newestFirst = [](int count) {
        QStringList titles;
        for (int i = count - 1; i >= 0; --i)
            titles.append(QStringLiteral("new %1").arg(i));
        return titles;
    };
    const struct { const char* name; QByteArray coding; bool chunked; QByteArray document; bool fails; } rows[] = {
        {"chunked, ends in text", "", true, endsInText, true},
        {"chunked, ends in a tag", "", true, endsInTag, true},
        {"chunked, broken midway", "", true, brokenMidway, false},
        {"chunked, whole", "", true, full, false},
        {"with length, ends in text", "", false, endsInText, false},
        {"gzip chunked, ends in text", "gzip", true, endsInText, false},
    };
    LoopbackServer server;
    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    QNetworkAccessManager nam;
    PersonalFeedStore store(*defaults, time, time, &nam);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        server.route(QStringLiteral("/f"), Response::text(tenHeadlines("kept"), "application/rss+xml"));
        const auto added = awaitTask(store.add(server.url(QStringLiteral("f")).toString()));
        ASSERT_EQ(added.value_or(PersonalFeedStore::AddResult::failed({})).kind, PersonalFeedStore::AddResult::Kind::Added);
        const PersonalFeed before = store.feeds().last();
        const QStringList keptTitles = titlesOf(store.items());

        Response r = Response::text(encoded(row.coding, row.document), "application/rss+xml");
        if (!row.coding.isEmpty())
            r.header("Content-Encoding", row.coding);
        r.chunked = row.chunked;
        server.route(QStringLiteral("/f"), r);
        time.advanceSeconds(60);
        awaitTask(store.refreshAll());
        ASSERT_EQ(store.feeds().size(), 1);
        const PersonalFeed after = store.feeds().last();
        if (row.fails) {
            EXPECT_EQ(titlesOf(store.items()), keptTitles);
            EXPECT_EQ(after.lastFetchedAt, before.lastFetchedAt);
            EXPECT_EQ(after.itemCount, 10);
            EXPECT_EQ(after.lastError, QStringLiteral("Could not reach 127.0.0.1"));
        } else {
            const int taken = row.document == full ? 10 : 4;
            EXPECT_EQ(titlesOf(store.items()), newestFirst(taken));
            EXPECT_EQ(after.itemCount, taken);
            EXPECT_NE(after.lastFetchedAt, before.lastFetchedAt);
            EXPECT_EQ(after.lastError, std::nullopt);
        }
        store.remove(after.id);
    }
}

// A reply's Content-Encoding is read as browsers read it: codings named in
// the order they were applied are undone last first, a name that is no
// coding ("UTF-8", "none", a common server misconfiguration) and "identity"
// leave the body as it stands, and a body that is not what its codings say,
// or in a coding that cannot be read, fails with the reason.
TEST(CodedReplies, CodingsAreUndoneInTurnAndNamesOfNoCodingPassTheBodyAsItStands)
{
    LoopbackServer server;
    QNetworkAccessManager nam;
    const QByteArray plain = tenHeadlines("plain");
    const QString damaged = QStringLiteral("The response's compressed body is damaged");
    const QString unreadable = QStringLiteral("The response uses a content coding that cannot be read: ");
    const struct { const char* label; QByteArray body; QString failure; } rows[] = {
        {"gzip", plain, damaged},
        {"deflate", plain, damaged},
        {"br", plain, damaged},
        {"zstd", plain, damaged},
        {"compress", plain, unreadable + QStringLiteral("compress")},
        {"gzip, x-compress", encoded("gzip", plain), unreadable + QStringLiteral("x-compress")},
        {"gzip, br", encoded("br", encoded("gzip", plain)), {}},
        {"br, gzip", encoded("br", encoded("gzip", plain)), damaged},
        {"gzip, br", encoded("gzip", plain), damaged},
        {"deflate,zstd", encoded("zstd", encoded("deflate", plain)), {}},
        {"gzip, gzip", encoded("gzip", encoded("gzip", plain)), {}},
        {"gzip, identity", encoded("gzip", plain), {}},
        {"identity", plain, {}},
        {"UTF-8", plain, {}},
        {"utf8", plain, {}},
        {"none", plain, {}},
        {"binary", plain, {}},
        {"text", plain, {}},
        {"UTF-8, gzip", encoded("gzip", plain), {}},
        {" GZIP ", encoded("gzip", plain), {}},
        {"x-gzip", encoded("gzip", plain), {}},
        {"gzip", "", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.label) + ", " + std::to_string(row.body.size()) + " bytes");
        server.route(QStringLiteral("/x"), Response::text(row.body, "application/rss+xml").header("Content-Encoding", row.label));
        const auto r = awaitTask(httpSend(&nam, HttpRequest(server.url(QStringLiteral("x")))));
        ASSERT_TRUE(r.has_value());
        if (row.failure.isEmpty()) {
            ASSERT_TRUE(r->has_value()) << r->error().description.toStdString();
            EXPECT_EQ((*r)->body, row.body.isEmpty() ? QByteArray() : plain);
            EXPECT_TRUE((*r)->wholeKnown);
        } else {
            ASSERT_FALSE(r->has_value()) << "read as a body of " << (*r)->body.size() << " bytes";
            EXPECT_EQ(r->error().kind, ErrorKind::Transport);
            EXPECT_TRUE(r->error().description.startsWith(row.failure)) << r->error().description.toStdString();
        }
    }
}

// A feed its server labels with a name of no coding reads as it stands.
TEST(CodedReplies, AFeedLabelledWithANameOfNoCodingIsRead)
{
    LoopbackServer server;
    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    QNetworkAccessManager nam;
    PersonalFeedStore store(*defaults, time, time, &nam);
    for (const QByteArray label : {"UTF-8", "utf8", "none", "binary", "text"}) {
        SCOPED_TRACE(label.toStdString());
        const QString path = QStringLiteral("/feed-") + QString::fromLatin1(label);
        server.route(path, Response::text(tenHeadlines("labelled"), "application/rss+xml").header("Content-Encoding", label));
        const auto added = awaitTask(store.add(server.url(path).toString()));
        ASSERT_TRUE(added.has_value());
        EXPECT_EQ(added->kind, PersonalFeedStore::AddResult::Kind::Added) << added->message.toStdString();
        time.advanceSeconds(60);
        awaitTask(store.refreshAll());
        ASSERT_EQ(store.feeds().size(), 1);
        EXPECT_EQ(store.feeds().last().lastError, std::nullopt);
        EXPECT_EQ(store.feeds().last().itemCount, 10);
        store.remove(store.feeds().last().id);
    }
}

// A feed whose document fills the decoder's output pieces exactly is read
// whole in every coding.
TEST(CodedReplies, AFeedFillingWholeDecoderPiecesIsReadInEveryCoding)
{
    LoopbackServer server;
    FakeTime time;
    std::unique_ptr<Defaults> defaults = Defaults::inMemory();
    QNetworkAccessManager nam;
    PersonalFeedStore store(*defaults, time, time, &nam);
    for (const QByteArray coding : {"gzip", "deflate", "br", "zstd"}) {
        for (const qsizetype size : {ContentDecoder::pieceSize, 2 * ContentDecoder::pieceSize, 4 * ContentDecoder::pieceSize}) {
            SCOPED_TRACE(coding.toStdString() + ", " + std::to_string(size) + " bytes");
            QByteArray document = tenHeadlines("exact");
            const qsizetype end = document.indexOf("</channel>");
            const qsizetype padding = size - document.size() - qsizetype(sizeof "<!---->" - 1);
            document.insert(end, "<!--" + Codings::sampleText(padding) + "-->");
            ASSERT_EQ(document.size(), size);
            server.route(QStringLiteral("/exact"), Response::text(encoded(coding, document), "application/rss+xml")
                                                       .header("Content-Encoding", coding));
            const auto added = awaitTask(store.add(server.url(QStringLiteral("exact")).toString()));
            ASSERT_TRUE(added.has_value());
            EXPECT_EQ(added->kind, PersonalFeedStore::AddResult::Kind::Added) << added->message.toStdString();
            EXPECT_EQ(added->itemCount, 10);
            for (const PersonalFeed& feed : store.feeds())
                store.remove(feed.id);
        }
    }
}

// A small coded body that decodes to far more than the cap is refused as too
// large, as a plain one is.
TEST(CodedReplies, DecodingPastTheCapIsTooLarge)
{
    LoopbackServer server;
    QNetworkAccessManager nam;
    const QByteArray huge = tenHeadlines("big") + QByteArray(8 * 1024 * 1024, ' ');
    for (const QByteArray coding : {"gzip", "deflate", "br", "zstd"}) {
        server.route(QStringLiteral("/big"), Response::text(encoded(coding, huge), "application/rss+xml").header("Content-Encoding", coding));
        FeedFetcher fetcher(&nam);
        const auto outcome = awaitTask(fetcher.fetch(server.url(QStringLiteral("big"))), 15000);
        ASSERT_TRUE(outcome.has_value());
        EXPECT_EQ(outcome->message, QStringLiteral("The feed is larger than 3 MB")) << coding.constData();
    }
}

// The network hands a body over in pieces of any size, down to a byte: each
// coding decodes the same whichever way its stream is split, ends only with
// its last piece, and a stream missing its last byte never reads as ended.
TEST(CodedReplies, EveryCodingDecodesTheSameInPiecesOfAnySize)
{
    const QByteArray plain = tenHeadlines("pieces");
    for (const QByteArray coding : {"gzip", "deflate", "raw deflate", "br", "zstd"}) {
        const QByteArray coded = encoded(coding, plain);
        const QByteArray header = coding == "raw deflate" ? QByteArray("deflate") : coding;
        for (const qsizetype piece : {qsizetype(1), qsizetype(2), qsizetype(7), qsizetype(4096)}) {
            SCOPED_TRACE(coding.toStdString() + " in pieces of " + std::to_string(piece));
            for (const bool whole : {true, false}) {
                const QByteArray sent = whole ? coded : coded.chopped(1);
                ContentDecoder decoder(header);
                QByteArray out;
                bool ok = true;
                for (qsizetype at = 0; at < sent.size() && ok; at += piece)
                    ok = decoder.decode(QByteArrayView(sent).sliced(at, std::min(piece, sent.size() - at)), out);
                ASSERT_TRUE(ok) << decoder.errorString().toStdString();
                EXPECT_EQ(decoder.finished(), whole);
                if (whole)
                    EXPECT_EQ(out, plain);
                else
                    EXPECT_TRUE(plain.startsWith(out));
            }
        }
    }
}

} // namespace
