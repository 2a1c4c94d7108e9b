// JSON decoding through the strict reader: the floor every model decode pays.
#include "platform/Json.h"

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
} // namespace

