#include "app/reduce_motion.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "core/text.h"

namespace brimwick {

std::optional<double> kdeAnimationDurationFactor(const std::string& kdeGlobals) {
    std::istringstream lines(kdeGlobals);
    std::string line;
    bool inKde = false;
    std::optional<double> factor;
    while (std::getline(lines, line)) {
        line = text::trimmed(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[') {
            inKde = line == "[KDE]";
            continue;
        }
        if (!inKde) continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        // Keys may carry a locale or a flag suffix ("Key[$e]"); this one never does.
        if (text::trimmed(line.substr(0, equals)) != "AnimationDurationFactor") continue;
        const std::string value = text::trimmed(line.substr(equals + 1));
        char* end = nullptr;
        const double parsed = std::strtod(value.c_str(), &end);
        if (value.empty() || end != value.c_str() + value.size() || !std::isfinite(parsed)) {
            factor.reset();
        } else {
            factor = parsed;  // the last one wins, as KDE reads it
        }
    }
    return factor;
}

bool reduceMotionWanted(const MotionSettings& settings) {
    if (settings.environment && text::trimmed(*settings.environment) == "1") return true;
    if (settings.gnomeAnimations && text::trimmed(*settings.gnomeAnimations) == "false")
        return true;
    if (settings.kdeGlobals) {
        if (auto factor = kdeAnimationDurationFactor(*settings.kdeGlobals);
            factor && *factor == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace brimwick
