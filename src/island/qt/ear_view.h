// EarView: the island's left ear, the most urgent session's mascot with, when there are more
// sessions, a hexagon counting them (CountHex). Painted by the island's root view.
#pragma once

#include <QRectF>
#include <optional>
#include <string>
#include <vector>

#include "island/animated_value.h"
#include "island/view_effects.h"
#include "mascot/qt/mascot_sprites.h"
#include "sessions/agent_session.h"

class QPainter;

namespace brimwick {

// The hexagon with the number of sessions: the figure below 10, a plus sign from 10 on; white,
// or amber while a session not shown waits for the user. Main thread.
class CountHex {
  public:
    static constexpr Spring kCountSpring{0.35, 0.8};
    static constexpr EaseOut kAlertEase{0.25};

    void set(int count, bool alert, Instant now);
    int count() const { return count_; }
    bool alert() const { return alert_.target() > 0.5; }

    // Draws inside `rect`, hexagon radius 0.38 × its smaller side.
    void paint(QPainter& painter, const QRectF& rect, Instant now) const;
    bool isMoving(Instant now) const;

  private:
    int count_ = 0;
    int previous_ = 0;
    AnimatedValue change_{1, 0.001};  // 0 → 1 while the new figure replaces the old
    AnimatedValue plus_{0, 0.001};    // 1 while the plus sign stands for the figure
    AnimatedValue alert_{0, 0.001};   // 0 white … 1 amber
};

// Main thread. Holds what it shows, so a leaving ear keeps drawing its last content.
class EarView {
  public:
    static constexpr Spring kListSpring{0.42, 0.72};
    static constexpr Spring kHoverSpring{0.25, 0.6};

    explicit EarView(bool reduceMotion = false);

    // The store's list: all sessions (for the count), whether a session not shown waits for the
    // user, and the sessions that get a mascot (in practice the top-ranked one). Starts the
    // transitions: the count hexagon from 2 sessions on, mascots arriving and poofing away.
    void update(int sessionCount, bool alert, const std::vector<AgentSession>& visible,
                Instant now);
    void setHovering(bool hovering, Instant now);
    void setReduceMotion(bool on);

    // The ear's width for its current content (leaving items excluded).
    double width(double h, double flare) const;

    // Draws into `ear`, the ear's frame of height h (content hangs off its trailing edge).
    // `still`: nothing moves the ear on screen, so its mascots come from kept masks.
    void paint(QPainter& painter, const QRectF& ear, double h, Instant now,
               bool still = false) const;

    // Springs or transitions still running (the mascots' own motion not counted).
    bool isMoving(Instant now) const;
    // Forgets mascots whose poof has finished.
    void settle(Instant now);
    // The mascots drawn now, leaving ones included.
    std::vector<AgentSession> drawnMascots() const;
    // Where the mascot of `index` in the visible list is drawn (before effects).
    QRectF mascotRect(const QRectF& ear, double h, std::size_t index) const;
    QRectF countRect(const QRectF& ear, double h) const;
    // Where the mascots may paint (poses, ripples and hover included).
    QRectF mascotArea(const QRectF& ear, double h, Instant now) const;
    // The longest the mascots look the same from `now`: 0 while one moves, infinity when none
    // will again (or there are none).
    double mascotsStillFor(Instant now) const;
    // Whether mascots are drawn and all of them idle or sleeping, which move slowly.
    bool mascotsCalm() const;
    const MascotSprites& sprites() const { return sprites_; }
    bool showsCount() const { return count_ >= 2; }
    const CountHex& countHex() const { return countHex_; }

    // Clicks: what lies under `point`, pressing and releasing it.
    struct Target {
        enum class Kind { none, count, session } kind = Kind::none;
        std::string sessionId;
    };
    Target targetAt(QPointF point, const QRectF& ear, double h) const;
    void setPressed(const Target& target, bool pressed, Instant now);
    std::optional<AgentSession> session(const std::string& id) const;

    // "3 sessions"; "<project>: <state label>".
    std::string countLabel() const;
    // What a screen reader announces, in reading order: the count from 2 sessions on, then each
    // session shown.
    std::vector<std::string> spokenLabels() const;
    static std::string sessionLabel(const AgentSession& session);

  private:
    struct Mascot {
        AgentSession session;
        std::size_t slot = 0;  // items counted from the trailing edge
        AnimatedValue presence{0, 0.001};
        AnimatedValue poof{0, 0.001};
        bool leaving = false;
        PressableStyle press;
    };

    int visibleCount() const;
    QRectF slotRect(const QRectF& ear, double h, std::size_t slot) const;

    bool reduceMotion_;
    int count_ = 0;
    CountHex countHex_;
    AnimatedValue countPresence_{0, 0.001};
    PressableStyle countPress_;
    std::vector<Mascot> mascots_;
    AnimatedValue hover_{1, 0.0005};
    mutable MascotSprites sprites_;  // drawing only; what is shown does not depend on it
};

}  // namespace brimwick
