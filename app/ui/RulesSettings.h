#pragma once

#include <QSettings>

#include "app/campaign/Rules.h"

namespace flarecast::ui {

// The campaign's rules as the program's settings keep them, in the group "campaign". A rule
// whose key is missing is off, so that a first run makes one pass, as it always did. A rule
// turned off keeps its values there, for the form to offer when it is turned on again.
campaign::Rules loadRules(QSettings& settings);
void saveRules(QSettings& settings, const campaign::Rules& rules);

// Every rule's values as last saved, or their defaults, whether the rule is on or not: each
// optional is set, the booleans and lists are as loadRules gives them but for lists that are
// turned off.
campaign::Rules loadRuleValues(QSettings& settings);

}  // namespace flarecast::ui
