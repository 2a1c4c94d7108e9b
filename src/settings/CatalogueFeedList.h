#pragma once

#include "api/ManifestModels.h"

#include <QList>
#include <QString>
#include <QWidget>
#include <functional>

class CatalogueFeedRow;
class FeedStore;
class QCheckBox;
class QLabel;
class QVBoxLayout;

// The catalogue feeds of a settings tab, each with its switch, live from the
// feed store: flat, or grouped by category with a switch for each whole
// category. A filter text hides the rows it does not name.
class CatalogueFeedList : public QWidget {
    Q_OBJECT
public:
    enum class Grouping { Flat, ByCategory };
    using Include = std::function<bool(const FeedIndexItem&)>;

    // One category of a grouped list.
    struct Category {
        QString name;
        QStringList feedIds;
        QWidget* block = nullptr;    // header and rows
        QLabel* count = nullptr;     // "3 of 5 on"
        QCheckBox* toggle = nullptr; // on while every active feed in it is on
    };

    // `include` picks the catalogue feeds listed (all when empty).
    CatalogueFeedList(FeedStore& store, Grouping grouping, Include include = {}, QWidget* parent = nullptr);

    void setFilter(const QString& text);
    const QString& filter() const { return m_filter; }

    const QList<CatalogueFeedRow*>& rows() const { return m_rows; }
    CatalogueFeedRow* row(const QString& feedId) const;
    QList<CatalogueFeedRow*> visibleRows() const;
    const QList<Category>& categories() const { return m_categories; }
    // Shown when the filter names no feed.
    QLabel* noMatchText() const { return m_noMatch; }

Q_SIGNALS:
    // The listed feeds were rebuilt from a new catalogue.
    void rebuilt();

private:
    void rebuildIfChanged();
    void rebuild();
    void refreshStates();
    void applyFilter();
    QWidget* makePanel(QVBoxLayout** rowsLayout);
    void addCategoryBlock(const QString& name, const QList<FeedIndexItem>& feeds);

    FeedStore& m_store;
    Grouping m_grouping;
    Include m_include;
    QString m_filter;
    QString m_catalogueKey;  // what the rows were built from
    QVBoxLayout* m_layout;
    QLabel* m_noMatch;
    QList<QWidget*> m_blocks;
    QList<CatalogueFeedRow*> m_rows;
    QList<Category> m_categories;
};
