#pragma once

#include <QByteArray>
#include <QString>

// Small PNG images drawn without fonts, so they work with no GUI
// application object and from any thread: a site icon (a rounded square in a
// colour taken from the host, with the host's first letter in a built-in
// pixel font) and a picture for items and cover art (a gradient with shapes).
class ImagePainter {
public:
    // `size` is clamped to 16…256 pixels.
    static QByteArray favicon(const QString& host, int size = 64);
    static QByteArray picture(const QString& key, int width = 480, int height = 270);
    // The letter the icon shows: the first ASCII letter or digit of the host after
    // a leading "www.", upper-cased; "?" when there is none.
    static QChar iconLetter(const QString& host);
};
