#pragma once

#include <QImage>
#include <QUrl>
#include <QWidget>

class QPainter;
class ThumbnailStore;

// An article's picture in a rounded frame, filling it with its aspect kept;
// a faint placeholder until the picture has arrived. The picture loads by
// itself through the thumbnail store when shown. The frame is `width` by
// `height`, centred in the widget; a width of 0 is the widget's own, for a
// picture that fills the width its layout gives it.
class ArticleThumbnail : public QWidget {
    Q_OBJECT
public:
    ArticleThumbnail(QUrl url, double width, double height, double cornerRadius, ThumbnailStore& store,
                     QWidget* parent = nullptr);
    ArticleThumbnail(QUrl url, double width, double height, double cornerRadius, QWidget* parent = nullptr);

    void setUrl(const QUrl& url);
    const QUrl& url() const { return m_url; }

    // Paints the picture (or the placeholder) into `frame`; asks the store
    // for it, at the frame's device-pixel size, when it is missing.
    static void paint(QPainter& painter, const QRectF& frame, double cornerRadius, const QUrl& url,
                      ThumbnailStore& store);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QUrl m_url;
    double m_width;
    double m_height;
    double m_radius;
    ThumbnailStore& m_store;
};
