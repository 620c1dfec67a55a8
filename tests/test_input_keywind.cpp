// The key-assignment screen on a real context: choosing a row, the key it
// takes, new rows, and binding a command by group.
#include <gtest/gtest.h>

#include <string>

#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/OOPS_cpp/butn.h"
#include "DIzivoz/OOPS_cpp/butn_keys.h"
#include "DIzivoz/OOPS_cpp/oglp_2d.h"
#include "tests/support/gl_context.h"
#include "tests/support/widget_fixture.h"

namespace {
class KeyWind : public gl_widget_test {
protected:
	KeyWind() : gl_widget_test(1000, 740, 999) {}
};
}  // namespace

TEST_F(KeyWind, BindsKeysAndCommands)
{
	const int a = cmnd.add_cmd("test/wind/alpha", "First");
	const int b = cmnd.add_cmd("test/wind/beta", "Second");

	keys_class k;
	k.bindings.push_back({65, 0, a, 0});
	k.bindings.push_back({66, 1, b, 0});
	no_mouse();
	k.keys_wind(0);

	// Row 1 chosen, then a key goes down: the row takes it and the row that
	// had the same key and modifiers is cleared.
	press(78, 689 - 20);
	k.keys_wind(0);
	no_mouse();
	k.last_vkey = 65;
	k.last_flags = 0;
	mnw.key_hit = 1;
	k.keys_wind(0);
	mnw.key_hit = 0;
	EXPECT_EQ(k.bindings[1].vkey, 65);
	EXPECT_EQ(k.bindings[1].flags, 0);
	EXPECT_EQ(k.bindings[0].vkey, 0);
	EXPECT_EQ(k.bindings[0].flags, 0);

	// The selected row's group lists its commands in the second column
	// (x 737, from y 685): picking "alpha" binds it.
	press(737, 685 - 15 * 0 + 2);
	k.keys_wind(0);
	no_mouse();
	EXPECT_EQ(k.bindings[1].command, a);

	// A second click on the row deselects it: keys no longer change it.
	press(78, 689 - 20);
	k.keys_wind(0);
	no_mouse();
	k.last_vkey = 90;
	mnw.key_hit = 1;
	k.keys_wind(0);
	mnw.key_hit = 0;
	EXPECT_EQ(k.bindings[1].vkey, 65);

	// The add button appends a binding to the "no command" entry; past 34 rows
	// the list scrolls to show the new one.
	for (int i = 0; i < 40; ++i) {
		press(385 + 92, 30);
		k.keys_wind(0);
		no_mouse();
	}
	EXPECT_EQ(k.bindings.size(), 42u);
	EXPECT_EQ(k.bindings.back().vkey, 0);
	EXPECT_EQ(k.bindings.back().command, 0);
	EXPECT_TRUE(alerts.empty());
	MACIBM_set_alert_sink({});
}
