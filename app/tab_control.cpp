#include "app/tab_control.h"

#include <QFrame>
#include <QTabBar>

namespace tonmiro::app {

namespace {
constexpr int kStripHeight = 21;
}

TabControl::TabControl(QWidget* parent) : QWidget(parent) {
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    m_panel = panel;
    m_tabBar = new QTabBar(this);
    m_tabBar->setDrawBase(false);
    m_tabBar->setExpanding(false);
    connect(m_tabBar, &QTabBar::currentChanged, this, [this](int index) {
        for (int i = 0; i < int(m_pages.size()); ++i) {
            m_pages[i]->setVisible(i == index);
        }
        m_tabBar->raise();
    });
}

QWidget* TabControl::addPage(const QString& title) {
    auto* page = new QWidget(this);
    m_pages.push_back(page);
    m_tabBar->addTab(title);
    page->setVisible(int(m_pages.size()) - 1 == m_tabBar->currentIndex());
    placeChildren();
    return page;
}

void TabControl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeChildren();
}

void TabControl::placeChildren() {
    // The panel's frame lies under the strip; the pages sit on top of it, transparent.
    m_panel->setGeometry(0, kStripHeight, width(), height() - kStripHeight);
    for (QWidget* page : m_pages) {
        page->setGeometry(0, 0, width(), height());
    }
    m_tabBar->setGeometry(2, 0, width() - 4, kStripHeight + 1);
    m_tabBar->raise();
}

int TabControl::currentIndex() const {
    return m_tabBar->currentIndex();
}

void TabControl::setCurrentIndex(int index) {
    m_tabBar->setCurrentIndex(index);
}

} // namespace tonmiro::app
