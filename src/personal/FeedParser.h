#pragma once

#include "personal/ParsedFeed.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

// Reads RSS 2.0, RSS 1.0 (RDF) and Atom documents in one streaming pass.
//
// Tolerant by design: element names are compared in lower case without their
// prefixes (feeds use prefixes such as "media:" without declaring them), and a
// document that breaks off still yields the entries read before the break.
// External entities are never resolved and entity expansion is bounded.
// Links and image addresses with a scheme other than http or https are
// ignored; relative addresses are kept as written.
//
// parse() and parseDate() are self-contained and may run on any thread.
class FeedParser {
public:
    // Nothing when the bytes are not a usable feed (not XML, another root
    // element, or an error before the first complete entry).
    static std::optional<ParsedFeed> parse(const QByteArray& body);

    // parse(), and whether the document simply stopped while its feed root
    // was still open: the input ran out between or inside tokens, with no
    // error before that. Only a document cut off somewhere reads so; one
    // that breaks a rule before its end (a mismatched tag, an unknown
    // entity) does not.
    struct Reading {
        std::optional<ParsedFeed> feed;
        bool endedInsideRoot = false;
    };
    static Reading read(const QByteArray& body);

    // RFC 822 style dates (several spellings) and ISO 8601 date-times or
    // bare dates; nothing when no form reads the whole text. Result in UTC.
    static std::optional<QDateTime> parseDate(const QString& text);

    // Whether an address may be kept as an item's link or image: http and
    // https addresses and relative ones (no scheme at all).
    static bool isAcceptableAddress(const QString& address);

    // The element names the parser acts on.
    enum class Tag : quint8 {
        Other, Rss, Feed, Rdf, Item, Entry, Channel, Title, Link, Enclosure, Content, Thumbnail,
        Guid, Id, PubDate, Published, Date, Issued, Updated,
    };

private:
    // The reader's callbacks (FeedParser.cpp); attributes are name/value
    // pairs in UTF-8, ending with a null name.
    struct Reader;
    using Attributes = const char* const*;

    FeedParser() = default;

    void startElement(Tag tag, Attributes attributes);
    void endElement(Tag tag);
    void startItem();
    void readItemLink(Attributes attributes);
    void readEnclosure(Attributes attributes);
    void readMedia(Attributes attributes);
    void finishItem();
    void readItemField(Tag tag, const QString& value);
    std::optional<ParsedFeed> result(bool failed) const;

    bool m_sawRoot = false;
    std::optional<QString> m_feedTitle;
    QList<ParsedFeedItem> m_items;
    std::vector<Tag> m_path;     // the open elements, outermost first
    QByteArray m_text;           // character data since the last tag, UTF-8
    bool m_collectText = false;  // whether the open element's text is ever read

    bool m_inItem = false;
    QString m_curTitle;
    std::optional<QString> m_curLink;
    std::optional<QString> m_curAtomAltLink;
    std::optional<QString> m_curAtomAnyLink;
    std::optional<QString> m_curGuid;
    std::optional<QString> m_curDate;
    std::optional<QString> m_curImage;
    std::optional<QString> m_curUpdated;
};
