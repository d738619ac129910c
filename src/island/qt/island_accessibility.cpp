#include "island/qt/island_accessibility.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <vector>

#include "island/qt/island_view.h"

namespace brimwick {
namespace {

class IslandItemAccessible;

// The island itself. Its children live as long as it does, one per position in the list of
// items: a screen reader may hold on to a child while the list changes, so a child is never
// deleted under it, only found out of range (invalid) until the list grows again.
class IslandAccessible final : public QAccessibleWidget {
  public:
    explicit IslandAccessible(IslandView* view)
        : QAccessibleWidget(view, QAccessible::Grouping, QStringLiteral("Brimwick island")) {}
    ~IslandAccessible() override;

    IslandView* view() const { return static_cast<IslandView*>(widget()); }
    std::vector<IslandView::SpokenItem> items() const { return view()->spokenItems(); }

    int childCount() const override { return static_cast<int>(items().size()); }
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

  private:
    mutable std::vector<QAccessible::Id> children_;
};

class IslandItemAccessible final : public QAccessibleInterface {
  public:
    IslandItemAccessible(IslandAccessible* island, int index) : island_(island), index_(index) {}

    bool isValid() const override {
        return island_->view() && index_ < static_cast<int>(island_->items().size());
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return island_->window(); }
    QAccessibleInterface* parent() const override { return island_; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text kind) const override {
        if (kind != QAccessible::Name || !isValid()) return {};
        return island_->items()[index_].name;
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) return {};
        const QRect frame = island_->items()[index_].frame.toAlignedRect();
        return QRect(island_->view()->mapToGlobal(frame.topLeft()), frame.size());
    }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.invisible = !isValid();
        return state;
    }
    int index() const { return index_; }

  private:
    IslandAccessible* island_;
    int index_;
};

IslandAccessible::~IslandAccessible() {
    for (QAccessible::Id id : children_) QAccessible::deleteAccessibleInterface(id);
}

QAccessibleInterface* IslandAccessible::child(int index) const {
    if (index < 0 || index >= childCount()) return nullptr;
    while (static_cast<int>(children_.size()) <= index) {
        auto* item = new IslandItemAccessible(const_cast<IslandAccessible*>(this),
                                              static_cast<int>(children_.size()));
        children_.push_back(QAccessible::registerAccessibleInterface(item));
    }
    return QAccessible::accessibleInterface(children_[index]);
}

int IslandAccessible::indexOfChild(const QAccessibleInterface* child) const {
    for (std::size_t i = 0; i < children_.size(); ++i) {
        if (QAccessible::accessibleInterface(children_[i]) == child) {
            return static_cast<int>(i) < childCount() ? static_cast<int>(i) : -1;
        }
    }
    return -1;
}

QAccessibleInterface* IslandAccessible::childAt(int x, int y) const {
    const auto all = items();
    for (int i = 0; i < static_cast<int>(all.size()); ++i) {
        if (QAccessibleInterface* item = child(i); item && item->rect().contains(x, y)) {
            return item;
        }
    }
    return nullptr;
}

QAccessibleInterface* islandFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("brimwick::IslandView") && object && object->isWidgetType()) {
        return new IslandAccessible(static_cast<IslandView*>(object));
    }
    return nullptr;
}

}  // namespace

void installIslandAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(islandFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace brimwick
