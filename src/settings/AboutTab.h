#pragma once

#include <QWidget>

class FeedStore;
class QLabel;
class QPushButton;

// The brand mark, the name and version, and the release the server offers
// with "Dismiss" (and a button that offers the download).
class AboutTab : public QWidget {
    Q_OBJECT
public:
    explicit AboutTab(FeedStore& store, QWidget* parent = nullptr);

    QLabel* versionLabel() const { return m_version; }
    QLabel* updateLabel() const { return m_update; }
    QPushButton* downloadButton() const { return m_download; }
    QPushButton* dismissButton() const { return m_dismiss; }

private:
    void showUpdate();

    FeedStore& m_store;
    QLabel* m_version;
    QLabel* m_update;
    QPushButton* m_download;
    QPushButton* m_dismiss;
};
