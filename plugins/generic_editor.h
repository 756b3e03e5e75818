#pragma once
// The generic editor: controls that show and change a plugin's parameters when the plugin has
// no editor of its own. Built into a window by TVstPlugIn::EditOpenIn and removed by CloseEdit,
// both on the window thread.
//
// gsOld: a parameter list "ParamBox", a track bar "ParamBar" (0-100) for the selected
// parameter and a label "LbL" with its display text. gsList: a label "LbL<i>" and a scroll
// bar "ParamBar<i>" (0-1000) per parameter.

#include "plugins/editor_window.h"
#include "plugins/vst_plugin.h"

namespace peldor {

/// Adds the controls of style to window. The controls call back into plugin, which must
/// remove them (RemoveGenericEditor) before it goes away.
void BuildGenericEditor(TVstPlugIn& plugin, IEditorWindow& window, TGUIStyle style);

/// Destroys the controls BuildGenericEditor made for style, found by name.
void RemoveGenericEditor(IEditorWindow& window, TGUIStyle style);

} // namespace peldor
