#pragma once

#include <QWidget>

#include <vector>

class QTabBar;

namespace tonmiro::app {

// A tab control whose pages cover the whole control, tab strip included, so the controls on a page
// are placed relative to the tab control itself (their top of 23 or 24 leaves room for the strip).
// UI thread only.
class TabControl : public QWidget {
    Q_OBJECT
public:
    explicit TabControl(QWidget* parent = nullptr);

    // Adds a page with the given tab text; the first page added is shown.
    QWidget* addPage(const QString& title);
    int currentIndex() const;
    void setCurrentIndex(int index);
    QTabBar* tabBar() const { return m_tabBar; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeChildren();

    QTabBar* m_tabBar = nullptr;
    QWidget* m_panel = nullptr;
    std::vector<QWidget*> m_pages;
};

} // namespace tonmiro::app
