#!/usr/bin/env bash
# Whole-process time of tools/parse-feed next to `xmllint --noout` on the same
# generated RSS 2.0 document (about 3 MB, 4,300 items with titles, links,
# guids, dates, descriptions, enclosures and a few character references).
#
#   bench/parser_speed.sh [build-dir] [runs]   (defaults: build, 15)
#
# Both programs run alternately, `runs` times each, after one warm-up run;
# the medians and their ratio are printed. parse-feed's JSON goes to
# /dev/null, as xmllint prints nothing with --noout.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-15}
parse_feed="$build/tools/parse-feed/parse-feed"
[ -x "$parse_feed" ] || cmake --build "$build" --target parse-feed
command -v xmllint >/dev/null || { echo "xmllint is missing (libxml2-utils)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tidewire-parser.XXXXXX")
trap 'rm -rf "$work"' EXIT
doc="$work/feed.xml"
awk 'BEGIN {
    print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    print "<rss version=\"2.0\" xmlns:media=\"http://search.yahoo.com/mrss/\"><channel>"
    print "<title>Generated feed</title><link>https://example.org/</link>"
    split("Mon Tue Wed Thu Fri Sat Sun", day, " ")
    for (i = 0; i < 4300; i++) {
        printf "<item><title>Headline number %d: markets &amp; weather move again &#8211; report</title>", i
        printf "<link>https://example.org/news/%d/a-fairly-long-article-slug-for-item-%d</link>", i, i
        printf "<guid isPermaLink=\"false\">urn:example:item:%08d</guid>", i
        printf "<pubDate>%s, %02d Mar 2025 %02d:%02d:%02d +0000</pubDate>", day[i % 7 + 1], i % 28 + 1, i % 24, i % 60, (i * 7) % 60
        printf "<description>A short summary of story %d, long enough to look like what real feeds carry ", i
        printf "in their descriptions: a sentence or two about what happened, where, and why it matters to the readers of this feed today.</description>"
        printf "<enclosure url=\"https://img.example.org/%d.jpg\" type=\"image/jpeg\" length=\"12345\"/>", i
        printf "<category>News</category><category>World</category><category>Business</category></item>\n"
    }
    print "</channel></rss>"
}' >"$doc"
items=$(grep -c '<item>' "$doc")
bytes=$(stat -c %s "$doc")

"$parse_feed" "$doc" >/dev/null || { echo "parse-feed did not read the generated feed" >&2; exit 1; }
xmllint --noout "$doc"
read_items=$("$parse_feed" "$doc" | grep -c '"title": "Headline number')
[ "$read_items" -eq "$items" ] || { echo "parse-feed read $read_items of $items items" >&2; exit 1; }

ns() { date +%s%N; }
declare -a ours theirs
for ((r = 0; r < runs; r++)); do
    t=$(ns); "$parse_feed" "$doc" >/dev/null; ours+=($(( ($(ns) - t) / 1000 )))
    t=$(ns); xmllint --noout "$doc"; theirs+=($(( ($(ns) - t) / 1000 )))
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
m_ours=$(median "${ours[@]}")
m_theirs=$(median "${theirs[@]}")
printf 'document: %d bytes, %d items\n' "$bytes" "$items"
printf 'parse-feed:      median %6.1f ms over %d runs\n' "$(echo "$m_ours / 1000" | bc -l)" "$runs"
printf 'xmllint --noout: median %6.1f ms over %d runs\n' "$(echo "$m_theirs / 1000" | bc -l)" "$runs"
printf 'ratio: %.2f\n' "$(echo "$m_ours / $m_theirs" | bc -l)"
