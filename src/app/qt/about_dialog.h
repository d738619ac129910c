// AboutDialog: the application's About window — icon, name, version and the maker's credits.
#pragma once

#include <QDialog>

class QLabel;

namespace brimwick {

// GUI thread only. A plain, non-modal window; the owner keeps one and raises it again.
class AboutDialog final : public QDialog {
  public:
    explicit AboutDialog(QWidget* parent = nullptr);

    QLabel* nameLabel() const { return name_; }
    QLabel* versionLabel() const { return version_; }
    QWidget* credits() const { return credits_; }

  private:
    QLabel* name_;
    QLabel* version_;
    QWidget* credits_;
};

// The credits paragraph, centred: the brand mark (22 × 22), then "Made by " and "TAMSEL" in
// bold with letter spacing 1.5. No address: none is known for the maker.
QWidget* makeCredits(QWidget* parent = nullptr);

}  // namespace brimwick
