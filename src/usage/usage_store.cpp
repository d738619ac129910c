#include "usage/usage_store.h"

#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace brimwick {
namespace {

constexpr const char* enDash = "\u2013";

// The locale for dates as the C library would choose it: LC_ALL, then LC_TIME, then LANG, with
// the encoding and modifier dropped ("de_DE.UTF-8@euro" → "de_DE").
icu::Locale userTimeLocale() {
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        std::string id(value);
        id = id.substr(0, id.find_first_of(".@"));
        if (id.empty() || id == "C" || id == "POSIX") break;
        return icu::Locale(id.c_str());
    }
    return icu::Locale::getDefault();
}

}  // namespace

std::shared_ptr<UsageStore> UsageStore::create(MainQueue& queue, const Clock& clock,
                                               Preferences& preferences, StartFetch startFetch,
                                               WakeMonitor* wake) {
    std::shared_ptr<UsageStore> store(
        new UsageStore(queue, clock, preferences, std::move(startFetch)));
    store->start(wake);
    return store;
}

UsageStore::UsageStore(MainQueue& queue, const Clock& clock, Preferences& preferences,
                       StartFetch startFetch)
    : queue_(queue),
      clock_(clock),
      preferences_(preferences),
      startFetch_(std::move(startFetch)),
      enabled_(preferences.boolValue(preferenceKey, true)),
      outbox_(std::make_shared<Outbox>()) {
    outbox_->queue = &queue;
}

UsageStore::~UsageStore() {
    poll_.cancel();
    // The store may go away inside the main queue's own tear-down (a queued task held the last
    // reference), so a late answer is dropped rather than posted; then the fetch is stopped and
    // waited for.
    {
        std::lock_guard lock(outbox_->mutex);
        outbox_->queue = nullptr;
    }
    worker_.cancel();
}

void UsageStore::start(WakeMonitor* wake) {
    refresh(true);
    schedulePoll();
    if (wake) {
        std::weak_ptr<UsageStore> weak = weak_from_this();
        MainQueue* queue = &queue_;
        wakeSubscription_ = wake->subscribe([queue, weak] {
            queue->post([weak] {
                if (auto store = weak.lock()) store->refresh(true);
            });
        });
    }
}

void UsageStore::schedulePoll() {
    std::weak_ptr<UsageStore> weak = weak_from_this();
    poll_ = queue_.after(pollPeriod, [weak] {
        auto store = weak.lock();
        if (!store) return;
        store->refresh(true);
        store->schedulePoll();
    });
}

void UsageStore::refresh(bool force) {
    if (!enabled_) return;
    if (inFlight_) {
        if (force) pendingForce_ = true;
        return;
    }
    const Instant now = clock_.now();
    if (!force && lastAttempt_ && now - *lastAttempt_ < minimumSpacing) return;
    inFlight_ = true;
    lastAttempt_ = now;
    startFetch();
}

void UsageStore::startFetch() {
    std::weak_ptr<UsageStore> weak = weak_from_this();
    // The answer may come from any thread, even after the store is gone (a test's fetch, or the
    // worker finishing while it is joined); the outbox tells it whether to post at all.
    startFetch_(worker_, [weak, outbox = outbox_](UsageOutcome outcome) {
        std::lock_guard lock(outbox->mutex);
        if (!outbox->queue) return;
        outbox->queue->post([weak, outcome = std::move(outcome)] {
            if (auto store = weak.lock()) store->apply(outcome);
        });
    });
}

void UsageStore::apply(const UsageOutcome& outcome) {
    inFlight_ = false;
    if (enabled_) {
        const auto oldUsage = usage_;
        const auto oldProblem = problem_;
        if (const auto* error = std::get_if<UsageError>(&outcome)) {
            problem_ = error->text();
            if (error->kind == UsageError::Kind::signedOut) usage_.reset();
        } else {
            usage_ = std::get<PlanUsage>(outcome);
            problem_.clear();
        }
        if (usage_ != oldUsage || problem_ != oldProblem) changed.emit();
    }
    if (pendingForce_) {
        pendingForce_ = false;
        refresh(true);
    }
}

void UsageStore::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    preferences_.setValue(preferenceKey, enabled);
    if (enabled) {
        refresh(true);
    } else {
        usage_.reset();
        problem_.clear();
    }
    changed.emit();
}

std::string UsageStore::countdown(std::optional<Instant> to, Instant now) {
    if (!to || std::isnan(*to - now)) return enDash;
    // Clamped so an absurd instant cannot overflow the integer arithmetic.
    const double rounded = std::ceil(std::min((*to - now) / 60.0, 1e12));
    if (rounded <= 0) return "now";
    const long long minutes = static_cast<long long>(rounded);
    if (minutes >= 1440) {
        return std::to_string(minutes / 1440) + "d " + std::to_string(minutes % 1440 / 60) + "h";
    }
    if (minutes >= 60) {
        return std::to_string(minutes / 60) + "h " + std::to_string(minutes % 60) + "m";
    }
    return std::to_string(minutes) + "m";
}

std::string UsageStore::resetDay(std::optional<Instant> at) {
    return resetDay(at, "", "");
}

std::string UsageStore::resetDay(std::optional<Instant> at, std::string_view locale,
                                 std::string_view timeZone) {
    if (!at || !std::isfinite(*at)) return enDash;
    const icu::Locale where =
        locale.empty() ? userTimeLocale() : icu::Locale(std::string(locale).c_str());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(where, status));
    if (U_FAILURE(status)) return enDash;
    // "j" asks for the locale's preferred hour cycle, so 12- or 24-hour follows the locale.
    const icu::UnicodeString pattern =
        generator->getBestPattern(icu::UnicodeString::fromUTF8("EEEjmm"), status);
    icu::SimpleDateFormat format(pattern, where, status);
    if (U_FAILURE(status)) return enDash;
    if (timeZone.empty()) {
        format.adoptTimeZone(icu::TimeZone::createDefault());
    } else {
        format.adoptTimeZone(icu::TimeZone::createTimeZone(
            icu::UnicodeString::fromUTF8(icu::StringPiece(timeZone.data(), timeZone.size()))));
    }
    icu::UnicodeString text;
    format.format(static_cast<UDate>(*at * 1000.0), text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

UsageStore::StartFetch backgroundUsageFetch(usage_api::Options options) {
    return [options = std::move(options)](BackgroundTask& worker,
                                          std::function<void(UsageOutcome)> done) {
        usage_api::fetchInBackground(worker, options, std::move(done));
    };
}

}  // namespace brimwick
