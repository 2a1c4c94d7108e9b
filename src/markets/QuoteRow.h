#pragma once

#include "markets/QuoteRowLayout.h"

#include <QWidget>

// One market quote as a plain widget, at its ideal size.
class QuoteRow : public QWidget {
    Q_OBJECT
public:
    QuoteRow(const MarketQuote& quote, int size, QWidget* parent = nullptr);

    void setQuote(const MarketQuote& quote, int size);
    const MarketQuote& quote() const { return m_quote; }
    int sizeCode() const { return m_size; }
    const QuoteRowLayout& rowLayout() const { return m_layout; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void relayout();

    MarketQuote m_quote;
    int m_size;
    QuoteRowLayout m_layout;
};
