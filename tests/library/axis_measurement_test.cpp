// A satellite's travel is measured on fresh loads of its project, one per
// end: the figures must not depend on where the reloaded tracks land in
// memory. Under an allocator that puts every rebuilt track where another
// one was, they come out as under the system allocator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "project/project.h"
#include "tests/support/recycling_allocator.h"
#include "tools/library_report/project_measurements.h"
#include "track/instrument.h"

namespace {

// A pad measured by a held chord while another track would arpeggiate the
// chord's keys: the arpeggio is muted for the measurement, and a layer
// that played on would change the figures by several dB.
constexpr const char* kProject = "HALOLAYERS";

int indexOf(library::LibraryPlayer& player, const std::string& name) {
    const auto& names = player.projectNames();
    return static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin());
}

std::vector<const CInstrument*> trackAddresses(library::LibraryPlayer& player) {
    std::vector<const CInstrument*> out;
    for (const auto& t : player.project().tracks) out.push_back(t.get());
    return out;
}

std::vector<library::AxisTravel> measureAxes() {
    library::LibraryPlayer player;
    library::MeasureOptions options;
    options.live = false;
    return library::measureProject(player, indexOf(player, kProject), options).axes;
}

TEST(SatelliteTravelMeasurement, SameFiguresWhereverTheReloadedTracksLand) {
    const std::vector<library::AxisTravel> plain = measureAxes();
    ASSERT_FALSE(plain.empty());

    test_recycling::setRecycling(true);
    std::vector<library::AxisTravel> recycled;
    bool trackMovedOntoAnother = false;
    {
        // The premise: a reload under this allocator gives a track the
        // address another track of the project had.
        library::LibraryPlayer player;
        ASSERT_TRUE(player.load(indexOf(player, kProject)));
        const std::vector<const CInstrument*> before = trackAddresses(player);
        ASSERT_TRUE(player.load(indexOf(player, kProject)));
        const std::vector<const CInstrument*> after = trackAddresses(player);
        ASSERT_EQ(before.size(), after.size());
        for (size_t i = 0; i < after.size(); ++i)
            for (size_t j = 0; j < before.size(); ++j) trackMovedOntoAnother |= i != j && after[i] == before[j];
    }
    recycled = measureAxes();
    test_recycling::setRecycling(false);
    EXPECT_TRUE(trackMovedOntoAnother);

    ASSERT_EQ(recycled.size(), plain.size());
    for (size_t i = 0; i < plain.size(); ++i) {
        const std::string axis = std::to_string(plain[i].satellite) + (plain[i].vertical ? " Y" : " X");
        EXPECT_EQ(recycled[i].levelChangeDb, plain[i].levelChangeDb) << axis;
        EXPECT_EQ(recycled[i].tailChangeDb, plain[i].tailChangeDb) << axis;
        EXPECT_EQ(recycled[i].centroidRatio, plain[i].centroidRatio) << axis;
        EXPECT_EQ(recycled[i].widthChangeDb, plain[i].widthChangeDb) << axis;
    }
}

}  // namespace
