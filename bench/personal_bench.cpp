// Parse throughput of the personal-feed parser on generated 3 MB feeds,
// next to a bare QXmlStreamReader pass over the same bytes.

#include "personal/FeedParser.h"

#include <QXmlStreamReader>
#include <benchmark/benchmark.h>

namespace {

constexpr qsizetype kTargetBytes = 3 * 1024 * 1024;

QByteArray rss2Feed()
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<rss version=\"2.0\" xmlns:media=\"http://search.yahoo.com/mrss/\" "
                     "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><channel><title>Bench RSS</title>\n";
    for (int i = 0; xml.size() < kTargetBytes - 2000; ++i) {
        xml += "<item><title>Headline number " + QByteArray::number(i) + " about the harbour &amp; the tides</title>"
               "<link>https://bench.example.com/posts/" + QByteArray::number(i) + "</link>"
               "<guid isPermaLink=\"false\">bench-" + QByteArray::number(i) + "</guid>"
               "<pubDate>Tue, 07 May 2024 10:" + QByteArray::number(10 + i % 50) + ":00 +0000</pubDate>"
               "<dc:creator>Writer " + QByteArray::number(i % 7) + "</dc:creator>"
               "<description><![CDATA[<p>Some <b>body</b> text that feeds carry, a few sentences long, "
               "so the reader has character data to skip over as in real feeds.</p>]]></description>"
               "<media:thumbnail url=\"https://bench.example.com/img/" + QByteArray::number(i) + ".jpg\" width=\"120\"/>"
               "</item>\n";
    }
    xml += "</channel></rss>\n";
    return xml;
}

QByteArray atomFeed()
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                     "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>Bench Atom</title>\n";
    for (int i = 0; xml.size() < kTargetBytes - 2000; ++i) {
        xml += "<entry><title type=\"html\">Entry number " + QByteArray::number(i) + " &lt;with&gt; markup</title>"
               "<link rel=\"self\" href=\"https://bench.example.com/api/" + QByteArray::number(i) + "\"/>"
               "<link rel=\"alternate\" type=\"text/html\" href=\"https://bench.example.com/e/" + QByteArray::number(i) + "\"/>"
               "<link rel=\"enclosure\" type=\"image/jpeg\" href=\"https://bench.example.com/e/" + QByteArray::number(i) + ".jpg\"/>"
               "<id>tag:bench.example.com,2024:" + QByteArray::number(i) + "</id>"
               "<published>2024-05-07T10:00:00Z</published><updated>2024-05-08T10:00:00.123+02:00</updated>"
               "<author><name>Writer</name></author>"
               "<summary>Some summary text that entries carry, a sentence or two long.</summary>"
               "</entry>\n";
    }
    xml += "</feed>\n";
    return xml;
}

const QByteArray& feed(int which)
{
    static const QByteArray rss = rss2Feed();
    static const QByteArray atom = atomFeed();
    return which == 0 ? rss : atom;
}

void BM_FeedParser(benchmark::State& state)
{
    const QByteArray& body = feed(int(state.range(0)));
    for (auto _ : state) {
        std::optional<ParsedFeed> parsed = FeedParser::parse(body);
        benchmark::DoNotOptimize(parsed);
        if (!parsed || parsed->items.isEmpty())
            state.SkipWithError("the feed did not parse");
    }
    state.SetBytesProcessed(state.iterations() * body.size());
    state.SetLabel(state.range(0) == 0 ? "RSS 2.0" : "Atom");
}

// The floor: the same reader with nothing done per token.
void BM_BareXmlStreamReader(benchmark::State& state)
{
    const QByteArray& body = feed(int(state.range(0)));
    for (auto _ : state) {
        QXmlStreamReader reader(body);
        reader.setNamespaceProcessing(false);
        qsizetype tokens = 0;
        while (!reader.atEnd()) {
            reader.readNext();
            ++tokens;
        }
        benchmark::DoNotOptimize(tokens);
        if (reader.hasError())
            state.SkipWithError("the reader failed");
    }
    state.SetBytesProcessed(state.iterations() * body.size());
    state.SetLabel(state.range(0) == 0 ? "RSS 2.0" : "Atom");
}

} // namespace

BENCHMARK(BM_FeedParser)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareXmlStreamReader)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

