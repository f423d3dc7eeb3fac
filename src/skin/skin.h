// Skins: the look of every window, numbered 1 to 19.
//
// A skin is one style sheet (the shared template skin.qss with the skin's
// colours filled in) and a matching palette over the Fusion style, so the
// parts a style sheet does not draw (check marks, dialogs) follow the skin
// too. Applying a skin restyles every open window at once. The user's choice
// is kept in the user's settings file, outside the database.
#pragma once

#include <QColor>
#include <QString>

class QMenu;

namespace qnl {

inline constexpr int kFirstSkin = 1;
inline constexpr int kLastSkin = 19;
inline constexpr int kDefaultSkin = 9;

// The colours a skin is drawn with, after every derived colour has been
// worked out.
struct SkinColours {
  QColor window;         // window and dialog background
  QColor surface;        // tab pages and group boxes
  QColor base;           // edit boxes, lists, menus, the plan panel
  QColor alt_base;       // alternate list rows
  QColor text;           // ordinary text on window, surface and base
  QColor muted;          // disabled text (the derived frequency box is one)
  QColor border;         // frames of every control
  QColor accent;         // selection, current tab, buttons that start work
  QColor accent_text;    // text on the accent
  QColor accent_hover;   // top of a hovered work button
  QColor link;           // flat buttons and the JD account line, on base
  QColor group_title;    // group box titles, on surface
  QColor button_top;     // gradient of an ordinary button
  QColor button_bottom;  //
  QColor button_pressed;
  QColor header_top;  // gradient of list headers and the status bar
  QColor header_bottom;
  QColor tab_bottom;  // an unselected tab (its darker end)
  QColor tab_text;
  QColor row_inactive;      // a selected row of a list without focus
  QColor indicator_border;  // frame of an unticked check box
  int radius = 0;           // corner radius of buttons, boxes and tabs
};

// Contrast of two colours as the web accessibility guidelines measure it,
// from 1 (same luminance) to 21 (black on white).
double contrast_ratio(const QColor& a, const QColor& b);

// Whether `number` names a skin.
bool is_skin(int number);
// Short name for the skin menu; empty for a number that names no skin.
QString skin_name(int number);
// The skin's colours; those of the default skin for a number that names none.
SkinColours skin_colours(int number);
// The finished style sheet of a skin; empty for a number that names none.
QString skin_style_sheet(int number);

// Applies skin `number` to the whole application and every open window; a
// number outside 1-19 does nothing.
void apply_skin(int number);
// The skin last applied, or 0 while the windows keep the platform's look.
int current_skin();

// The skin the user chose (kept across runs), or the default skin 9.
int kept_skin();
// Applies skin `number` and keeps it for the next start; a number outside
// 1-19 does nothing.
void choose_skin(int number);

// Adds the "皮肤" submenu to `menu`: one entry per skin, by number and
// name, the current one marked; picking one chooses it.
void add_skin_menu(QMenu& menu);

}  // namespace qnl
