// JSON decoding through the strict reader: the floor every model decode pays.
// A label showing a text far longer than any headline (a pasted search
// query), asked for its height and painted as its window is resized.
#include "platform/storage/Json.h"
#include "widgets/ParagraphLabel.h"

#include <QPixmap>
#include <benchmark/benchmark.h>

namespace {
struct Row {
    QString id;
    std::optional<QString> title;
    qint64 count = 0;
    static Result<Row> fromJson(const QJsonValue& v, const JsonOptions& o)
    {
        JsonIn in(v, o, QStringLiteral("Row"));
        Row r;
        r.id = in.required<QString>(QStringLiteral("id"));
        r.title = in.optional<QString>(QStringLiteral("title"));
        r.count = in.required<qint64>(QStringLiteral("count"));
        if (!in.ok())
            return std::unexpected(in.error());
        return r;
    }
};

void BM_DecodeRows(benchmark::State& state)
{
    QByteArray doc = "[";
    for (int i = 0; i < state.range(0); ++i)
        doc += QByteArray(i ? "," : "") + "{\"id\":\"row-" + QByteArray::number(i)
            + "\",\"title\":\"A headline of ordinary length\",\"count\":" + QByteArray::number(i) + "}";
    doc += "]";
    for (auto _ : state) {
        auto rows = decodeJson<QList<Row>>(doc);
        benchmark::DoNotOptimize(rows);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * doc.size());
}
BENCHMARK(BM_DecodeRows)->Arg(300)->Arg(2000);

// Five resizes of a wrapping label holding 32,767 characters with combining
// marks, each asking for the height at the new width and painting there
// three times, as a layout pass and an expose do.
void BM_ParagraphLabelLongTextResized(benchmark::State& state)
{
    const QString text = QStringLiteral("Cafe\u0301 re\u0301sume\u0301 nai\u0308ve ").repeated(1200).left(32767);
    ParagraphLabel label(text);
    label.setWordWrap(true);
    QPixmap canvas(600, 600);
    for (auto _ : state) {
        for (int width = 500; width < 600; width += 20) {
            for (int pass = 0; pass < 3; ++pass) {
                label.resize(width, label.heightForWidth(width));
                label.render(&canvas);
            }
        }
    }
}
BENCHMARK(BM_ParagraphLabelLongTextResized)->Unit(benchmark::kMillisecond);
} // namespace

