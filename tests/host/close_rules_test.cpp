#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>

#include "host/close_rules.h"
#include "host/posix_signals.h"
#include "host/saver_options.h"

using NS_CloseRules::CloseRules;
using NS_CloseRules::Input;
using NS_SaverOptions::ClosesOnInput;
using NS_SaverOptions::Target;

TEST(CloseRules, OwnWindowsCloseOnKeysClicksAndTheWindowManager)
{
    for (Target target : {Target::Window, Target::FullScreen, Target::Wayland}) {
        CloseRules rules(ClosesOnInput(target), 100, 100);
        EXPECT_TRUE(rules.Ends(Input::Key));
        EXPECT_TRUE(rules.Ends(Input::CloseRequest));
        for (int button : {1, 2, 3})
            EXPECT_TRUE(rules.Ends(Input::Button, button)) << button;
        // The wheel scrolls and the side buttons navigate: not a click.
        for (int button : {4, 5, 6, 7, 8, 9})
            EXPECT_FALSE(rules.Ends(Input::Button, button)) << button;
    }
}

TEST(CloseRules, SmallMovesAddUpAgainstTheAnchor)
{
    CloseRules rules(ClosesOnInput(Target::Window), 100, 100);
    EXPECT_FALSE(rules.Ends(Input::Motion, 102, 100));
    EXPECT_FALSE(rules.Ends(Input::Motion, 103, 101)) << "3 right and 1 down is 4: stays";
    EXPECT_TRUE(rules.Ends(Input::Motion, 104, 101)) << "one more pixel away is 5: closes";
}

TEST(CloseRules, NegativeMovesCountAsFarAsPositiveOnes)
{
    CloseRules rules(ClosesOnInput(Target::FullScreen), 0, 0);
    EXPECT_FALSE(rules.Ends(Input::Motion, -2, -2));
    EXPECT_TRUE(rules.Ends(Input::Motion, -3, -2));
}

TEST(CloseRules, ThePointerComingInBecomesTheAnchor)
{
    CloseRules rules(ClosesOnInput(Target::Window), 2000, 2000);
    EXPECT_FALSE(rules.Ends(Input::Enter, 10, 10));
    EXPECT_FALSE(rules.Ends(Input::Motion, 12, 12));
    EXPECT_TRUE(rules.Ends(Input::Motion, 13, 12));
}

TEST(CloseRules, WithoutAnAnchorTheFirstPositionSeenBecomesIt)
{
    CloseRules rules(ClosesOnInput(Target::Wayland));
    EXPECT_FALSE(rules.Ends(Input::Motion, 700, 300)) << "the first report of the pointer is no move";
    EXPECT_FALSE(rules.Ends(Input::Motion, 702, 302));
    EXPECT_TRUE(rules.Ends(Input::Motion, 703, 302));

    // Onto the next output's surface: the crossing is a move from the first
    // anchor, not a new anchor.
    CloseRules crossing(true);
    EXPECT_FALSE(crossing.Ends(Input::Enter, 1021, 400));
    EXPECT_FALSE(crossing.Ends(Input::Enter, 1024, 400));
    EXPECT_TRUE(crossing.Ends(Input::Motion, 1026, 400));
    CloseRules far(true);
    EXPECT_FALSE(far.Ends(Input::Enter, 1021, 400));
    EXPECT_TRUE(far.Ends(Input::Enter, 1030, 400));
}

TEST(CloseRules, OtherPeoplesWindowsIgnoreInput)
{
    for (Target target : {Target::Root, Target::Foreign, Target::Wallpaper}) {
        CloseRules rules(ClosesOnInput(target), 0, 0);
        EXPECT_FALSE(rules.Ends(Input::Key));
        EXPECT_FALSE(rules.Ends(Input::Button, 1));
        EXPECT_FALSE(rules.Ends(Input::Enter, 500, 500));
        EXPECT_FALSE(rules.Ends(Input::Motion, 500, 500));
        EXPECT_FALSE(rules.Ends(Input::CloseRequest));
        EXPECT_TRUE(rules.Ends(Input::TargetGone));
        EXPECT_TRUE(rules.Ends(Input::StopSignal));
    }
}

TEST(CloseRules, SignalsAndALostWindowEndEveryTarget)
{
    for (Target target :
         {Target::Window, Target::FullScreen, Target::Root, Target::Foreign, Target::Wayland, Target::Wallpaper}) {
        CloseRules rules(ClosesOnInput(target), 0, 0);
        EXPECT_TRUE(rules.Ends(Input::StopSignal));
        EXPECT_TRUE(rules.Ends(Input::TargetGone));
    }
}

TEST(PosixStopSignals, TurnsSigtermIntoAReadableDescriptor)
{
    struct sigaction before = {};
    sigaction(SIGTERM, nullptr, &before);
    {
        NS_PosixSignals::StopSignals signals;
        ASSERT_TRUE(signals.Ready());
        EXPECT_EQ(0, signals.Received());
        pollfd wait = {signals.Descriptor(), POLLIN, 0};
        EXPECT_EQ(0, poll(&wait, 1, 0));

        raise(SIGTERM);
        raise(SIGINT);
        EXPECT_EQ(SIGTERM, signals.Received()) << "the first signal is the one remembered";
        ASSERT_EQ(1, poll(&wait, 1, 0));
        EXPECT_TRUE(wait.revents & POLLIN);
    }
    struct sigaction after = {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(before.sa_handler, after.sa_handler) << "the old disposition is back";
}
