#include "ServerFixture.h"

#include "ImagePainter.h"

#include <QImage>
#include <QXmlStreamReader>

namespace {

using CatalogueMediaTest = ServerFixture;

struct FeedFacts {
    QString root;          // local name of the root element
    QString item;          // local name of an item
    int items = 0;
    QList<QDateTime> dates;
    QStringList images;    // media:content / thumbnail / enclosure / link rel=enclosure addresses
    bool cdata = false;
    QString error;
};

FeedFacts readFeed(const QByteArray& bytes)
{
    FeedFacts facts;
    facts.cdata = bytes.contains("<![CDATA[");
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        if (!xml.readNext() || !xml.isStartElement())
            continue;
        const QString name = xml.name().toString();
        if (facts.root.isEmpty())
            facts.root = name;
        const auto attributes = xml.attributes();
        if (name == "item" || name == "entry")
            ++facts.items;
        if (name == "pubDate") {
            facts.dates.append(QDateTime::fromString(xml.readElementText(), Qt::RFC2822Date));
        } else if (name == "date" || name == "published" || (name == "updated" && facts.items > 0)) {
            facts.dates.append(QDateTime::fromString(xml.readElementText(), Qt::ISODate));
        } else if ((name == "content" && xml.namespaceUri().contains(u"mrss")) || name == "thumbnail"
                   || (name == "enclosure" && attributes.value("type").startsWith(u"image/"))) {
            facts.images.append(attributes.value("url").toString());
        } else if (name == "link" && attributes.value("rel") == u"enclosure") {
            facts.images.append(attributes.value("href").toString());
        }
    }
    if (xml.hasError())
        facts.error = xml.errorString();
    return facts;
}

TEST_F(CatalogueMediaTest, SampleFeedsAreWellFormedAndRecent)
{
    struct Case {
        QString path;
        QString root;
        QByteArray contentType;
    };
    const QList<Case> cases = {
        {"feeds/harbour-ledger.rss", "rss", "application/rss+xml"},
        {"feeds/field-notes.rdf", "RDF", "application/rdf+xml"},
        {"feeds/workshop.atom", "feed", "application/atom+xml"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.path.toStdString());
        const HttpResponse response = get(test.path);
        ASSERT_EQ(response.status, 200);
        EXPECT_TRUE(response.header("content-type").startsWith(test.contentType));
        const FeedFacts facts = readFeed(response.body);
        EXPECT_TRUE(facts.error.isEmpty()) << facts.error.toStdString();
        EXPECT_EQ(facts.root, test.root);
        EXPECT_GE(facts.items, 10);
        ASSERT_GE(facts.dates.size(), facts.items * 3 / 4);
        for (const QDateTime& date : facts.dates) {
            ASSERT_TRUE(date.isValid());
            EXPECT_LE(date, now().addSecs(600));
            EXPECT_GE(date, now().addDays(-2)) << "dates follow the clock";
        }
        for (const QString& image : facts.images) {
            const HttpResponse picture = send(HttpRequest(QUrl(image)));
            EXPECT_EQ(picture.status, 200) << image.toStdString();
            EXPECT_FALSE(QImage::fromData(picture.body).isNull()) << image.toStdString();
        }
        if (test.root != "RDF") {
            EXPECT_GE(facts.images.size(), 4);
        }
    }
    EXPECT_TRUE(readFeed(get("feeds/harbour-ledger.rss").body).cdata);

    // The index page links every document.
    const HttpResponse index = get("feeds/");
    ASSERT_EQ(index.status, 200);
    for (const Case& test : cases)
        EXPECT_TRUE(index.body.contains(server.baseUrl().toString().toUtf8() + test.path.toUtf8())) << test.path.toStdString();
}

TEST_F(CatalogueMediaTest, IconsAndPicturesDecode)
{
    struct Case {
        QString path;
        QSize size;
    };
    const QList<Case> cases = {
        {"ip3/stackline.example.ico", {64, 64}},
        {"ip3/www.meridianwire.example.ico", {64, 64}},
        {"ip3/127.0.0.1:8080.ico", {64, 64}},
        {"img/f-stackline-12.png", {480, 270}},
        {"art/the-lanterns/100x100bb.png", {100, 100}},
        {"art/the-lanterns/600x600bb.png", {600, 600}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.path.toStdString());
        const HttpResponse response = get(test.path);
        ASSERT_EQ(response.status, 200);
        EXPECT_EQ(response.header("content-type"), "image/png");
        const QImage image = QImage::fromData(response.body);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), test.size);
    }
    EXPECT_EQ(get("ip3/a.example.ico").body, get("ip3/a.example.ico").body);
    EXPECT_NE(get("ip3/a.example.ico").body, get("ip3/b.example.ico").body);
}

TEST(ImagePainterLetters, TheIconLetter)
{
    struct Case {
        QString host;
        QChar letter;
    };
    const QList<Case> cases = {
        {"stackline.example", 'S'}, {"www.meridianwire.example", 'M'}, {"9news.example", '9'},
        {"-dash.example", 'D'},     {"www.", '?'},                      {"", '?'},
        {"ümlaut.example", 'M'},    {"WWW.Upper.example", 'U'},
    };
    for (const Case& test : cases)
        EXPECT_EQ(ImagePainter::iconLetter(test.host), test.letter) << test.host.toStdString();
}

TEST_F(CatalogueMediaTest, ArtworkSearchAnswersWithAnImageTheServerDraws)
{
    const QJsonObject reply = getJson("search?term=The%20Lanterns%20Low%20Tide&entity=song&limit=1");
    const QJsonArray results = reply["results"].toArray();
    ASSERT_EQ(results.size(), 1);
    const QString small = results[0]["artworkUrl100"].toString();
    ASSERT_TRUE(small.contains("100x100"));
    QString large = small;
    large.replace("100x100", "600x600");
    const HttpResponse image = send(HttpRequest(QUrl(large)));
    ASSERT_EQ(image.status, 200);
    EXPECT_EQ(QImage::fromData(image.body).size(), QSize(600, 600));
    EXPECT_TRUE(getJson("search?term=")["results"].toArray().isEmpty());
}

TEST_F(CatalogueMediaTest, ItemAndIconLinksPointAtThisServer)
{
    const QJsonObject manifest = getJson("v1_manifest");
    QStringList ids;
    for (const QJsonValue& f : manifest["feed_index"].toArray())
        ids.append(f["feed_id"].toString());
    const QJsonArray items = getJson("v1_items_batch?feed_ids=" + ids.join(',') + "&limit_per_feed=2")["items"].toArray();
    int images = 0, icons = 0;
    for (const QJsonValue& item : items) {
        for (const QString& link : {item["image_url"].toString(), item["source"]["icon_url"].toString()}) {
            if (link.isEmpty())
                continue;
            EXPECT_TRUE(link.startsWith(server.baseUrl().toString())) << link.toStdString();
            (link.contains("/ip3/") ? icons : images) += 1;
        }
    }
    EXPECT_GT(images, 5);
    EXPECT_GT(icons, 0);
    // Every one of them is served.
    for (const QJsonValue& item : items) {
        if (!item["image_url"].isString())
            continue;
        EXPECT_EQ(send(HttpRequest(QUrl(item["image_url"].toString()))).status, 200);
        break;
    }
}

} // namespace
