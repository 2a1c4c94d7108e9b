#pragma once

#include <QIcon>
#include <QIconEngine>
#include <QString>

// An icon that draws from the pictures of another icon and answers a theme
// icon's name for QIcon::name(). A tray that looks icons up by name (the
// StatusNotifierItem's IconName) then finds the themed one, which it may
// tint for its panel; every other reader gets the pictures.
class NamedIconEngine final : public QIconEngine {
public:
    NamedIconEngine(QIcon pictures, QString name);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QString iconName() override;
    bool isNull() override;
    QString key() const override;
    QIconEngine* clone() const override;

private:
    QIcon m_pictures;
    QString m_name;
};
