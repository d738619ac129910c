// The browser page's hexagon must be the app's own outline: every point of the SVG path data
// matches the Qt path, element by element.
#include "mascot/hex_outline_svg.h"

#include <gtest/gtest.h>

#include <QPainterPath>
#include <sstream>

#include "mascot/qt/hex_renderer.h"

namespace brimwick {
namespace {

struct Command {
    char letter;
    std::vector<double> numbers;
};

std::vector<Command> parse(const std::string& data) {
    std::vector<Command> commands;
    std::istringstream in(data);
    for (std::string word; in >> word;) {
        if (std::isalpha(static_cast<unsigned char>(word[0]))) {
            commands.push_back({word[0], {}});
        } else {
            EXPECT_FALSE(commands.empty()) << data;
            commands.back().numbers.push_back(std::stod(word));
        }
    }
    return commands;
}

// Without what draws nothing: lines to the point already reached (Qt leaves them out when
// the rounding takes whole edges) and the closing line or "Z" back to the start.
std::vector<Command> drawn(std::vector<Command> commands) {
    std::vector<Command> out;
    double x = 0, y = 0, startX = 0, startY = 0;
    auto at = [&](double px, double py) {
        return std::abs(px - x) < 1e-3 && std::abs(py - y) < 1e-3;
    };
    for (auto& c : commands) {
        if (c.letter == 'Z') continue;
        const double px = c.numbers[c.numbers.size() - 2], py = c.numbers.back();
        if (c.letter == 'L' && at(px, py)) continue;
        if (c.letter == 'M') startX = px, startY = py;
        x = px;
        y = py;
        out.push_back(std::move(c));
    }
    if (!out.empty() && out.back().letter == 'L' && out.size() > 1 && std::abs(x - startX) < 1e-3 &&
        std::abs(y - startY) < 1e-3) {
        out.pop_back();
    }
    return out;
}

// The Qt path in the same command form.
std::vector<Command> commandsOf(const QPainterPath& path) {
    std::vector<Command> commands;
    for (int i = 0; i < path.elementCount(); ++i) {
        const auto e = path.elementAt(i);
        switch (e.type) {
            case QPainterPath::MoveToElement:
                commands.push_back({'M', {e.x, e.y}});
                break;
            case QPainterPath::LineToElement:
                commands.push_back({'L', {e.x, e.y}});
                break;
            case QPainterPath::CurveToElement:
                commands.push_back({'C', {e.x, e.y}});
                break;
            case QPainterPath::CurveToDataElement:
                commands.back().numbers.insert(commands.back().numbers.end(), {e.x, e.y});
                break;
        }
    }
    return commands;
}

TEST(HexOutlineSvg, MatchesTheAppsOutlinePointForPoint) {
    for (const auto& [radius, corner] : std::vector<std::pair<double, double>>{
             {10, 2.4}, {6.2, 1.4}, {3.4, 0.8}, {50, 0}, {10, 100}}) {
        SCOPED_TRACE(std::to_string(radius) + " / " + std::to_string(corner));
        const auto data = hexOutlineSvgPath(radius, corner);
        EXPECT_EQ(data.back(), 'Z');
        const auto svg = drawn(parse(data));
        const auto qt = drawn(commandsOf(HexRenderer::hexPath(radius, corner)));
        ASSERT_EQ(svg.size(), qt.size());
        for (std::size_t i = 0; i < svg.size(); ++i) {
            EXPECT_EQ(svg[i].letter, qt[i].letter) << i;
            ASSERT_EQ(svg[i].numbers.size(), qt[i].numbers.size()) << i;
            for (std::size_t j = 0; j < svg[i].numbers.size(); ++j) {
                EXPECT_NEAR(svg[i].numbers[j], qt[i].numbers[j], 6e-4) << i << ":" << j;
            }
        }
    }
}

TEST(HexOutlineSvg, StartsMidEdgeAndHasNothingForADegenerateRadius) {
    // The middle of the edge from the top corner to the upper-right one.
    EXPECT_EQ(hexOutlineSvgPath(10, 2.4).substr(0, 13), "M 4.33 -7.5 L");
    EXPECT_EQ(hexOutlineSvgPath(0, 1), "");
    EXPECT_EQ(hexOutlineSvgPath(-3, 1), "");
    EXPECT_EQ(hexOutlineSvgPath(std::nan(""), 1), "");
    EXPECT_EQ(hexOutlineSvgPath(10, 2.4).back(), 'Z');
}

}  // namespace
}  // namespace brimwick
