#pragma once

#include <QWidget>
#include <optional>

// The capsule shown while the store is offline: "Offline", or "Offline · "
// followed by a ready-made relative time.
class OfflineChip : public QWidget {
    Q_OBJECT
public:
    explicit OfflineChip(std::optional<QString> relative = std::nullopt, QWidget* parent = nullptr);

    void setRelative(std::optional<QString> relative);
    QString text() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<QString> m_relative;
};
