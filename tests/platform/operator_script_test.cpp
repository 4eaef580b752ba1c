// The operator's script: every action it knows, and the mistakes it refuses
// before anything runs; and the program's table of dialog verbs it reads.
#include "sim/machine/operator_script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "res/dialog_templates.h"
#include "res/operator_table.h"

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
        const char* verb;
        int number;
        std::chrono::milliseconds duration;
        bool meanwhile = false;
    } cases[] = {
        {"program 2", ActionKind::Verb, "program", 2, 0ms},
        {"drive 11", ActionKind::Verb, "drive", 11, 0ms},
        {"create", ActionKind::Verb, "create", 0, 0ms},
        {"help", ActionKind::Verb, "help", 0, 0ms},
        {"exit", ActionKind::Verb, "exit", 0, 0ms},
        {"enter", ActionKind::Enter, "enter", 0, 0ms},
        {"esc", ActionKind::Escape, "esc", 0, 0ms},
        {"close", ActionKind::CloseBox, "close", 0, 0ms},
        {"about", ActionKind::Verb, "about", 0, 0ms},
        {"minimize", ActionKind::Minimize, "minimize", 0, 0ms},
        {"restore", ActionKind::Restore, "restore", 0, 0ms},
        {"yes", ActionKind::Yes, "yes", 0, 0ms},
        {"no", ActionKind::No, "no", 0, 0ms},
        {"ok", ActionKind::Ok, "ok", 0, 0ms},
        {"cancel", ActionKind::Cancel, "cancel", 0, 0ms},
        {"wait 500ms", ActionKind::Wait, "wait", 0, 500ms},
        {"wait 2s", ActionKind::Wait, "wait", 0, 2000ms},
        {"wait 250", ActionKind::Wait, "wait", 0, 250ms},
        {"wait 0ms", ActionKind::Wait, "wait", 0, 0ms},
        {"meanwhile create", ActionKind::Verb, "create", 0, 0ms, true},
        {"meanwhile drive 2", ActionKind::Verb, "drive", 2, 0ms, true},
        {"meanwhile esc", ActionKind::Escape, "esc", 0, 0ms, true},
        {"meanwhile close", ActionKind::CloseBox, "close", 0, 0ms, true},
        {"pull a", ActionKind::Pull, "pull", 0, 0ms},
        {"replug e:", ActionKind::Replug, "replug", 0, 0ms},
    };
    std::string joined;
    for (const auto& c : cases) joined += std::string(joined.empty() ? "" : " ,  ") + c.text;
    std::vector<Action> actions = All(OperatorScript::Parse(joined + ", wait-for /tmp/a b"));
    ASSERT_EQ(actions.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(actions[i].kind, cases[i].kind) << cases[i].text;
        EXPECT_EQ(actions[i].verb, cases[i].verb) << cases[i].text;
        EXPECT_EQ(actions[i].number, cases[i].number) << cases[i].text;
        EXPECT_EQ(actions[i].duration, cases[i].duration) << cases[i].text;
        EXPECT_EQ(actions[i].meanwhile, cases[i].meanwhile) << cases[i].text;
        EXPECT_EQ(actions[i].text, cases[i].text);
    }
    EXPECT_EQ(actions[std::size(cases) - 2].drive, 'A');
    EXPECT_EQ(actions[std::size(cases) - 1].drive, 'E');
    EXPECT_EQ(actions.back().kind, ActionKind::WaitFor);
    EXPECT_EQ(actions.back().file, "/tmp/a b");
    EXPECT_GT(actions.back().duration, std::chrono::milliseconds(0)) << "waits for a while only";
}

TEST(OperatorScript, RefusesMistakesNamingTheAction) {
    const struct {
        const char* script;
        const char* named;
    } cases[] = {
        {"jump", "'jump'"},
        {"Exit", "'Exit'"},
        {"exit now", "'exit now'"},
        {"program", "'program'"},
        {"program 0", "'program 0'"},
        {"drive -1", "'drive -1'"},
        {"drive x", "'drive x'"},
        {"program 1.5", "'program 1.5'"},
        {"wait", "'wait'"},
        {"wait 5m", "'wait 5m'"},
        {"wait -1ms", "'wait -1ms'"},
        {"wait 1.5s", "'wait 1.5s'"},
        {"wait ms", "'wait ms'"},
        {"wait-for", "'wait-for'"},
        {"create,,exit", "empty"},
        {", exit", "empty"},
        {"ok, ,ok", "empty"},
        {"exit,", "empty"},
        {"meanwhile", "'meanwhile'"},
        {"meanwhile yes", "'meanwhile yes'"},
        {"meanwhile about", "'meanwhile about'"},
        {"meanwhile wait 2s", "'meanwhile wait 2s'"},
        {"meanwhile meanwhile exit", "'meanwhile meanwhile exit'"},
        {"replug", "'replug'"},
        {"replug EF", "'replug EF'"},
        {"pull", "'pull'"},
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

// Hands on the hardware take their actions as the script reaches them; the
// screen sees the others only.
TEST(OperatorScript, HardwareActionsGoToTheHandsInTheirPlace) {
    OperatorScript script = OperatorScript::Parse("create, replug E, pull F:, yes");
    std::string replugged;
    script.SetHardwareHands([&](const Action& action) { replugged += action.drive; });
    EXPECT_EQ(script.Next()->verb, "create");
    EXPECT_TRUE(replugged.empty());
    EXPECT_EQ(script.Next()->kind, ActionKind::Yes);
    EXPECT_EQ(replugged, "EF");
    EXPECT_FALSE(script.Next());
}

TEST(OperatorScript, AnEmptyScriptHasNoActionsAndScriptsJoinInOrder) {
    EXPECT_TRUE(OperatorScript::Parse("").Empty());
    EXPECT_TRUE(OperatorScript::Parse("  ").Empty());
    OperatorScript script = OperatorScript::Parse("program 3, yes");
    script.Append(OperatorScript::Parse("exit"));
    EXPECT_EQ(script.Remaining(), 3u);
    std::vector<Action> actions = All(script);
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[0].verb, "program");
    EXPECT_EQ(actions[1].kind, ActionKind::Yes);
    EXPECT_EQ(actions[2].verb, "exit");
}

// The desktop acts on what the table says; a target missing from its
// template, or a verb the script reads as one of its own words, would fail
// only when an operator tries it.
TEST(OperatorTable, TargetsAreOnTheirDialogsAndEachVerbReachesThem) {
    std::map<std::string, OperatorVerbKind> kinds;
    for (const OperatorDialog& dialog : OperatorDialogs()) {
        const DialogTemplate* dialogTemplate = FindDialogTemplate(dialog.templateId);
        ASSERT_NE(dialogTemplate, nullptr) << dialog.templateId;
        for (const OperatorTarget& target : dialog.targets) {
            SCOPED_TRACE(target.name);
            if (target.kind != OperatorVerbKind::SystemCommand) {
                EXPECT_TRUE(std::any_of(
                    dialogTemplate->controls.begin(), dialogTemplate->controls.end(),
                    [&](const ControlTemplate& control) { return control.id == target.id; }));
            }
            EXPECT_EQ(target.verb == nullptr, target.kind == OperatorVerbKind::None);
            if (target.verb == nullptr) continue;
            EXPECT_EQ(kinds.emplace(target.verb, target.kind).first->second, target.kind)
                << target.verb << " means two things";
            bool picks = target.kind == OperatorVerbKind::PickLine;
            std::vector<Action> parsed =
                All(OperatorScript::Parse(std::string(target.verb) + (picks ? " 3" : "")));
            ASSERT_EQ(parsed.size(), 1u);
            EXPECT_EQ(parsed[0].verb, target.verb);
            EXPECT_EQ(parsed[0].number, picks ? 3 : 0);
            const ActionKind reachesDialogs[] = {ActionKind::Verb, ActionKind::Yes, ActionKind::No,
                                                 ActionKind::Ok, ActionKind::Cancel};
            EXPECT_NE(
                std::find(std::begin(reachesDialogs), std::end(reachesDialogs), parsed[0].kind),
                std::end(reachesDialogs));
        }
    }
    EXPECT_FALSE(kinds.empty());
}

}  // namespace
}  // namespace veldra::sim
