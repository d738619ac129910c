// IslandAccessibility: the painted island as screen readers see it (AT-SPI through Qt's
// accessibility interfaces): a group named "Brimwick island" whose children are the items the
// island shows, each named as the island labels it ("3 sessions", "weather: Thinking",
// "Session 58% left, week 43% left").
#pragma once

namespace brimwick {

// Installs the interface factory for IslandView once; later calls do nothing. GUI thread.
void installIslandAccessibility();

}  // namespace brimwick
