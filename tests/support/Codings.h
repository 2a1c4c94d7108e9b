#pragma once

#include <QByteArray>

// Encoders for the content codings replies arrive in, so tests can serve or
// feed a body as a server would send it.
namespace Codings {

// `plain` in one coding: "gzip", "deflate" (zlib-wrapped, as the standard
// has it), "raw deflate" (what some servers send as deflate), "br" or
// "zstd". Any other name returns `plain` unchanged.
QByteArray encoded(const QByteArray& coding, const QByteArray& plain);

// The name a server puts in Content-Encoding for `coding` ("deflate" for
// "raw deflate").
QByteArray label(const QByteArray& coding);

// `size` bytes of text that codes to a fair share of its size, so that a
// decoded size and a coded one are far apart and both span several pieces.
QByteArray sampleText(qsizetype size);

} // namespace Codings
