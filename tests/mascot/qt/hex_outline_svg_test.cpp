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

// The Qt path in the same command form; its closing line back to the start becomes "Z".
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
    const auto start = path.elementAt(0);
    if (!commands.empty() && commands.back().letter == 'L' &&
        std::abs(commands.back().numbers[0] - start.x) < 1e-9 &&
        std::abs(commands.back().numbers[1] - start.y) < 1e-9) {
        commands.back() = {'Z', {}};
    }
    return commands;
}

TEST(HexOutlineSvg, MatchesTheAppsOutlinePointForPoint) {
    for (const auto& [radius, corner] : std::vector<std::pair<double, double>>{
             {10, 2.4}, {6.2, 1.4}, {3.4, 0.8}, {50, 0}, {10, 100}}) {
        SCOPED_TRACE(std::to_string(radius) + " / " + std::to_string(corner));
        const auto svg = parse(hexOutlineSvgPath(radius, corner));
        const auto qt = commandsOf(HexRenderer::hexPath(radius, corner));
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
