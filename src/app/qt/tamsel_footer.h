// TamselFooter: the row at the bottom of the tray menu — the maker's brand mark with "by TAMSEL"
// linking to the maker's site, and "About Brimwick" on the right.
#pragma once

#include <QWidget>
#include <functional>

class QLabel;

namespace brimwick {

// GUI thread only. Clicking the left part calls onSite, the right link onAbout.
class TamselFooter final : public QWidget {
  public:
    explicit TamselFooter(QWidget* parent = nullptr);

    std::function<void()> onSite;
    std::function<void()> onAbout;

    // The parts, for tests and for the tool tip.
    QWidget* siteButton() const { return site_; }
    QLabel* aboutLink() const { return about_; }

  private:
    QWidget* site_;
    QLabel* about_;
};

}  // namespace brimwick
