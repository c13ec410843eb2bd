#pragma once

#include <QList>
#include <QWidget>

class QTabBar;

// A tab control whose pages share its own coordinate system: controls on a
// page are placed from the control's top-left corner, tab strip included, as
// the window design gives them. Pages are transparent children that cover the
// whole control; the strip sits on top of them.
class TabControl : public QWidget {
    Q_OBJECT
public:
    // The tab strip: 295 twips, rounded to whole pixels at 96 dpi.
    static constexpr int StripHeight = 20;

    explicit TabControl(QWidget *parent = nullptr);

    // Adds page as the next tab; page must be a child of this control.
    void addPage(QWidget *page, const QString &caption);

    int currentIndex() const;
    void setCurrentIndex(int index);
    int count() const { return m_pages.size(); }
    QTabBar *tabBar() const { return m_bar; }

signals:
    void currentChanged(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutBar();
    void showPage(int index);

    QTabBar *m_bar;
    QList<QWidget *> m_pages;
};
