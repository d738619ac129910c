// TamselFooter: the row at the bottom of the tray menu — the maker's brand mark with "by TAMSEL"
// (plain text: the maker has no address to link to), and "About Brimwick" on the right.
#pragma once

#include <QWidget>
#include <functional>

class QLabel;

namespace brimwick {

// GUI thread only. Clicking the link on the right calls onAbout.
class TamselFooter final : public QWidget {
  public:
    explicit TamselFooter(QWidget* parent = nullptr);

    std::function<void()> onAbout;

    QLabel* aboutLink() const { return about_; }

  private:
    QLabel* about_;
};

}  // namespace brimwick
