// The operator's script: every action it knows, and the mistakes it refuses
// before anything runs.
#include "platform/sim/operator_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veldra::sim {
namespace {

std::vector<Action> All(OperatorScript script) {
    std::vector<Action> actions;
    while (auto action = script.Next()) actions.push_back(*action);
    return actions;
}

TEST(OperatorScript, ReadsEveryAction) {
    using namespace std::chrono_literals;
    const struct {
        const char* text;
        ActionKind kind;
        int number;
        std::chrono::milliseconds duration;
    } cases[] = {
        {"program 2", ActionKind::PickProgram, 2, 0ms},
        {"drive 11", ActionKind::PickDrive, 11, 0ms},
        {"create", ActionKind::PressCreate, 0, 0ms},
        {"help", ActionKind::PressHelp, 0, 0ms},
        {"exit", ActionKind::PressExit, 0, 0ms},
        {"enter", ActionKind::Enter, 0, 0ms},
        {"esc", ActionKind::Escape, 0, 0ms},
        {"close", ActionKind::CloseBox, 0, 0ms},
        {"about", ActionKind::AboutItem, 0, 0ms},
        {"minimize", ActionKind::Minimize, 0, 0ms},
        {"restore", ActionKind::Restore, 0, 0ms},
        {"yes", ActionKind::Yes, 0, 0ms},
        {"no", ActionKind::No, 0, 0ms},
        {"ok", ActionKind::Ok, 0, 0ms},
        {"cancel", ActionKind::Cancel, 0, 0ms},
        {"wait 500ms", ActionKind::Wait, 0, 500ms},
        {"wait 2s", ActionKind::Wait, 0, 2000ms},
        {"wait 250", ActionKind::Wait, 0, 250ms},
        {"wait 0ms", ActionKind::Wait, 0, 0ms},
    };
    std::string joined;
    for (const auto& c : cases) joined += std::string(joined.empty() ? "" : " ,  ") + c.text;
    std::vector<Action> actions = All(OperatorScript::Parse(joined + ", wait-for /tmp/a b"));
    ASSERT_EQ(actions.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(actions[i].kind, cases[i].kind) << cases[i].text;
        EXPECT_EQ(actions[i].number, cases[i].number) << cases[i].text;
        EXPECT_EQ(actions[i].duration, cases[i].duration) << cases[i].text;
        EXPECT_EQ(actions[i].text, cases[i].text);
    }
    EXPECT_EQ(actions.back().kind, ActionKind::WaitFor);
    EXPECT_EQ(actions.back().file, "/tmp/a b");
    EXPECT_GT(actions.back().duration, std::chrono::milliseconds(0)) << "waits for a while only";
}

TEST(OperatorScript, RefusesMistakesNamingTheAction) {
    const struct {
        const char* script;
        const char* named;
    } cases[] = {
        {"jump", "'jump'"},           {"Exit", "'Exit'"},
        {"exit now", "'exit now'"},   {"program", "'program'"},
        {"program 0", "'program 0'"}, {"drive -1", "'drive -1'"},
        {"drive x", "'drive x'"},     {"program 1.5", "'program 1.5'"},
        {"wait", "'wait'"},           {"wait 5m", "'wait 5m'"},
        {"wait -1ms", "'wait -1ms'"}, {"wait 1.5s", "'wait 1.5s'"},
        {"wait ms", "'wait ms'"},     {"wait-for", "'wait-for'"},
        {"create,,exit", "empty"},    {", exit", "empty"},
        {"ok, ,ok", "empty"},         {"exit,", "empty"},
    };
    for (const auto& c : cases) {
        try {
            OperatorScript::Parse(c.script);
            ADD_FAILURE() << "accepted: " << c.script;
        } catch (const ScriptError& error) {
            EXPECT_NE(std::string(error.what()).find(c.named), std::string::npos)
                << c.script << " gave: " << error.what();
        }
    }
}

TEST(OperatorScript, RefusesWaitsLongerThanAnHour) {
    using namespace std::chrono_literals;
    for (const char* script : {"wait 3600s", "wait 3600000ms", "wait 3600000"}) {
        std::vector<Action> hour = All(OperatorScript::Parse(script));
        ASSERT_EQ(hour.size(), 1u) << script;
        EXPECT_EQ(hour[0].duration, 3600000ms) << script;
    }
    for (const char* script :
         {"wait 3601s", "wait 3600001ms", "wait 9223372036854776s", "wait 9223372036854775807s"}) {
        EXPECT_THROW(OperatorScript::Parse(script), ScriptError) << script;
    }
}

TEST(OperatorScript, AnEmptyScriptHasNoActionsAndScriptsJoinInOrder) {
    EXPECT_TRUE(OperatorScript::Parse("").Empty());
    EXPECT_TRUE(OperatorScript::Parse("  ").Empty());
    OperatorScript script = OperatorScript::Parse("program 3, yes");
    script.Append(OperatorScript::Parse("exit"));
    EXPECT_EQ(script.Remaining(), 3u);
    std::vector<Action> actions = All(script);
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[0].kind, ActionKind::PickProgram);
    EXPECT_EQ(actions[1].kind, ActionKind::Yes);
    EXPECT_EQ(actions[2].kind, ActionKind::PressExit);
}

}  // namespace
}  // namespace veldra::sim
