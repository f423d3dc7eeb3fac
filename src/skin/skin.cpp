#include "skin/skin.h"

#include <QActionGroup>
#include <QApplication>
#include <QFile>
#include <QHash>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QRegularExpression>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <algorithm>
#include <array>
#include <cmath>

// The skin template lives in a resource of this static library; it must be
// registered from the global namespace.
static void register_skin_resources() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(skins);
    return true;
  }();
  (void)registered;
}

namespace qnl {
namespace {

// What a skin is made of; everything else is worked out from these.
struct SkinEntry {
  const char* name;  // UTF-8
  const char* window;
  const char* base;
  const char* text;
  const char* accent;
  const char* accent_text;
  const char* border;
  const char* button_top;
  const char* button_bottom;
  const char* header_top;
  const char* header_bottom;
  int radius;
};

// clang-format off
constexpr std::array<SkinEntry, kLastSkin> kSkins{{
  //  name       window     base       text       accent     on accent  border     button top / bottom   header top / bottom   radius
  {"经典",     "#f0f0f0", "#ffffff", "#1b1b1b", "#3271c4", "#ffffff", "#adadad", "#fdfdfd", "#e1e1e1", "#ffffff", "#ececec", 2},
  {"素白",     "#fbfbfb", "#ffffff", "#202124", "#1a73e8", "#ffffff", "#dadce0", "#ffffff", "#ffffff", "#f8f9fa", "#f8f9fa", 4},
  {"石墨",     "#2b2d30", "#1e1f22", "#dfe1e5", "#2f65ca", "#ffffff", "#4e5157", "#3c3f42", "#35373a", "#393b40", "#313337", 3},
  {"松绿",     "#eef3ee", "#ffffff", "#1d2a20", "#2e7d4f", "#ffffff", "#a9bfae", "#fbfdfb", "#e2ece4", "#f6faf6", "#e3ede5", 3},
  {"暮紫",     "#f2eff7", "#ffffff", "#241f2e", "#6a4bb0", "#ffffff", "#bdb3d1", "#fdfcff", "#e8e2f3", "#faf8fd", "#e9e4f3", 4},
  {"琥珀",     "#f7f1e6", "#fffdf8", "#2b2116", "#9a5800", "#ffffff", "#cdb894", "#fffaf0", "#efe2c8", "#fcf6ea", "#eee1c6", 3},
  {"海蓝",     "#e8f0f7", "#ffffff", "#102a43", "#1565a8", "#ffffff", "#9fb8cf", "#fbfdff", "#d9e6f2", "#f4f8fc", "#dbe7f2", 3},
  {"夜航",     "#1f2733", "#161c25", "#d8e0ea", "#2b6cd4", "#ffffff", "#3a4657", "#2c3645", "#252e3b", "#2a3442", "#222b37", 3},
  {"晴空",     "#eef3f9", "#ffffff", "#1f2d3d", "#2b6fd1", "#ffffff", "#c5d3e3", "#ffffff", "#e8eff8", "#f9fbfe", "#e9f0f8", 4},
  {"樱粉",     "#fbf0f4", "#ffffff", "#3a1f2b", "#b8336a", "#ffffff", "#e0b9c9", "#fffafc", "#f5dde7", "#fff7fa", "#f6e0e9", 5},
  {"薄荷",     "#ebf7f3", "#ffffff", "#17302a", "#00796b", "#ffffff", "#a7d3c6", "#fbfffd", "#dcf0e9", "#f4fcf9", "#dcefe8", 4},
  {"青黛",     "#203033", "#172326", "#d7e6e6", "#1c8077", "#ffffff", "#36504f", "#2b3f42", "#243538", "#2a3d40", "#223235", 3},
  {"咖啡",     "#f3ede6", "#fffcf8", "#2e221a", "#6d4c41", "#ffffff", "#c8b6a6", "#fdf9f4", "#e9ddd0", "#faf5ef", "#eadfd2", 3},
  {"朱砂",     "#f8efed", "#ffffff", "#2f1a17", "#b3261e", "#ffffff", "#d9b4ae", "#fffafa", "#f1dcd8", "#fdf6f5", "#f0dcd8", 3},
  {"黑白",     "#ffffff", "#ffffff", "#000000", "#222222", "#ffffff", "#8c8c8c", "#ffffff", "#ffffff", "#f2f2f2", "#f2f2f2", 0},
  {"午夜",     "#121212", "#1a1a1a", "#e8e8e8", "#bb86fc", "#1a0033", "#3a3a3a", "#2a2a2a", "#232323", "#242424", "#1f1f1f", 4},
  {"青瓷",     "#e9f1ee", "#fbfdfc", "#1e2e29", "#3b7a68", "#ffffff", "#a9c4bb", "#f8fbfa", "#dae8e3", "#f3f8f6", "#dae7e2", 6},
  {"高对比",   "#000000", "#000000", "#ffffff", "#ffd400", "#000000", "#ffffff", "#000000", "#000000", "#1a1a1a", "#1a1a1a", 0},
  {"银灰",     "#e4e7eb", "#fdfdfe", "#1c2430", "#4b6584", "#ffffff", "#9aa5b1", "#ffffff", "#cfd5dc", "#fbfcfd", "#d5dbe2", 3},
}};
// clang-format on

int g_current_skin = 0;

// Fusion, except that an icon on a selected row keeps its own colours (the
// mark of a special post stays red) and gets a thin halo in the selection's
// text colour, so it stands out on any skin's selection.
class SkinBaseStyle : public QProxyStyle {
 public:
  SkinBaseStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

  QPixmap generatedIconPixmap(QIcon::Mode mode, const QPixmap& pixmap,
                              const QStyleOption* option) const override {
    if (mode != QIcon::Selected || pixmap.isNull())
      return QProxyStyle::generatedIconPixmap(mode, pixmap, option);
    const QImage icon = pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QColor halo_colour =
        option ? option->palette.color(QPalette::Normal, QPalette::HighlightedText)
               : QColor(Qt::white);
    QImage out(icon.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    for (int y = 0; y < icon.height(); ++y) {
      for (int x = 0; x < icon.width(); ++x) {
        int alpha = 0;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx)
            if (icon.valid(x + dx, y + dy))
              alpha = std::max(alpha, qAlpha(icon.pixel(x + dx, y + dy)));
        QColor c = halo_colour;
        c.setAlpha(alpha);
        out.setPixelColor(x, y, c);
      }
    }
    QPainter painter(&out);
    painter.drawImage(0, 0, icon);
    painter.end();
    out.setDevicePixelRatio(pixmap.devicePixelRatio());
    return QPixmap::fromImage(out);
  }
};

QColor mix(const QColor& a, const QColor& b, double amount_of_b) {
  auto channel = [amount_of_b](int x, int y) {
    return static_cast<int>(std::lround(x + (y - x) * amount_of_b));
  };
  return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()),
                channel(a.blue(), b.blue()));
}

double luminance(const QColor& c) {
  auto linear = [](double v) {
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

// `fg` moved towards black or white, whichever `bg` lets stand out more,
// until the two reach `ratio`.
QColor with_contrast(QColor fg, const QColor& bg, double ratio) {
  const QColor target = luminance(bg) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
  for (int step = 0; step < 20 && contrast_ratio(fg, bg) < ratio; ++step) fg = mix(fg, target, 0.1);
  return fg;
}

bool dark(const SkinEntry& e) {
  return luminance(QColor(e.window)) < 0.18;
}

const SkinEntry& entry(int number) {
  return kSkins[static_cast<size_t>((is_skin(number) ? number : kDefaultSkin) - 1)];
}

QString name_of(const QColor& c) {
  return c.name(QColor::HexRgb);
}

// Every value the template asks for.
QHash<QString, QString> template_values(int number) {
  const SkinEntry& e = entry(number);
  const SkinColours c = skin_colours(number);
  const QColor white(Qt::white), black(Qt::black);
  const bool is_dark = dark(e);
  QHash<QString, QString> v;
  auto put = [&v](const char* key, const QColor& colour) {
    v.insert(QString::fromLatin1(key), name_of(colour));
  };
  put("window", c.window);
  put("surface", c.surface);
  put("base", c.base);
  put("alt_base", c.alt_base);
  put("text", c.text);
  put("muted", c.muted);
  put("border", c.border);
  put("accent", c.accent);
  put("accent_text", c.accent_text);
  put("accent_hover", c.accent_hover);
  put("accent_deep", mix(c.accent, black, 0.12));
  put("accent_edge", mix(c.accent, black, 0.25));
  put("accent_border", is_dark ? mix(c.accent, white, 0.2) : c.accent);
  put("link", c.link);
  put("group_title", c.group_title);
  put("flat_hover", mix(c.base, c.accent, 0.12));
  put("flat_pressed", mix(c.base, c.accent, 0.24));
  put("button_text", c.text);
  put("button_top", c.button_top);
  put("button_bottom", c.button_bottom);
  put("button_border", mix(c.border, c.text, is_dark ? 0.1 : 0.15));
  put("button_hover_top", mix(c.button_top, c.accent, 0.06));
  put("button_hover_bottom", mix(c.button_bottom, c.accent, 0.12));
  put("button_pressed", c.button_pressed);
  put("header_top", c.header_top);
  put("header_bottom", c.header_bottom);
  put("header_text", c.text);
  put("header_hover", mix(c.header_bottom, c.accent, 0.12));
  put("header_pressed", mix(c.header_bottom, c.accent, 0.22));
  put("tab_top", mix(c.window, c.base, 0.3));
  put("tab_bottom", c.tab_bottom);
  put("tab_text", c.tab_text);
  put("tab_hover", mix(c.window, c.accent, 0.1));
  put("row_hover", mix(c.base, c.accent, 0.1));
  put("row_inactive", c.row_inactive);
  put("scroll_track", mix(c.base, c.window, 0.5));
  put("scroll_handle", mix(c.base, c.text, 0.28));
  put("scroll_handle_hover", mix(c.base, c.text, 0.45));
  put("status_top", c.header_top);
  put("status_bottom", c.header_bottom);
  put("status_text", c.text);
  put("indicator_border", c.indicator_border);
  v.insert(QStringLiteral("radius"), QString::number(c.radius));
  v.insert(QStringLiteral("small_radius"), QString::number(std::min(c.radius, 2)));
  v.insert(QStringLiteral("check_image"), luminance(c.accent_text) > 0.5
                                              ? QStringLiteral(":/skin/check-light.svg")
                                              : QStringLiteral(":/skin/check-dark.svg"));
  return v;
}

QPalette palette_of(const SkinColours& c) {
  QPalette p(c.button_bottom, c.window);
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::Window, c.window);
    p.setColor(group, QPalette::WindowText, c.text);
    p.setColor(group, QPalette::Base, c.base);
    p.setColor(group, QPalette::AlternateBase, c.alt_base);
    p.setColor(group, QPalette::Text, c.text);
    p.setColor(group, QPalette::Button, c.button_bottom);
    p.setColor(group, QPalette::ButtonText, c.text);
    p.setColor(group, QPalette::Highlight, c.accent);
    p.setColor(group, QPalette::HighlightedText, c.accent_text);
    p.setColor(group, QPalette::ToolTipBase, c.base);
    p.setColor(group, QPalette::ToolTipText, c.text);
    p.setColor(group, QPalette::PlaceholderText, c.muted);
    p.setColor(group, QPalette::Link, c.link);
    p.setColor(group, QPalette::LinkVisited, c.link);
    p.setColor(group, QPalette::BrightText, c.accent_text);
  }
  p.setColor(QPalette::Inactive, QPalette::Highlight, c.row_inactive);
  p.setColor(QPalette::Inactive, QPalette::HighlightedText, c.text);
  p.setColor(QPalette::Disabled, QPalette::Window, c.window);
  p.setColor(QPalette::Disabled, QPalette::Base, c.window);
  p.setColor(QPalette::Disabled, QPalette::Button, c.window);
  for (const QPalette::ColorRole role :
       {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, c.muted);
  p.setColor(QPalette::Disabled, QPalette::Highlight, c.row_inactive);
  p.setColor(QPalette::Disabled, QPalette::HighlightedText, c.muted);
  return p;
}

QSettings user_settings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quenlo"),
                   QStringLiteral("Quenlo"));
}

constexpr char kSkinKey[] = "appearance/skin";

}  // namespace

double contrast_ratio(const QColor& a, const QColor& b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool is_skin(int number) {
  return number >= kFirstSkin && number <= kLastSkin;
}

QString skin_name(int number) {
  return is_skin(number) ? QString::fromUtf8(entry(number).name) : QString();
}

SkinColours skin_colours(int number) {
  const SkinEntry& e = entry(number);
  const QColor white(Qt::white), black(Qt::black);
  SkinColours c;
  c.window = QColor(e.window);
  c.base = QColor(e.base);
  c.surface = mix(c.window, c.base, 0.5);
  c.alt_base = mix(c.base, c.window, 0.5);
  c.text = QColor(e.text);
  c.border = QColor(e.border);
  c.accent = QColor(e.accent);
  c.accent_text = QColor(e.accent_text);
  c.accent_hover = mix(c.accent, luminance(c.accent_text) > 0.5 ? black : white, 0.06);
  // Text that the user must read stays legible even when disabled: the
  // derived frequency box shows a value.
  c.muted = with_contrast(mix(c.text, c.window, 0.45), c.window, 4.5);
  c.link = with_contrast(c.accent, c.base, 4.5);
  c.group_title = with_contrast(c.accent, c.surface, 4.5);
  c.button_top = QColor(e.button_top);
  c.button_bottom = QColor(e.button_bottom);
  c.button_pressed = mix(c.button_bottom, c.accent, 0.22);
  c.header_top = QColor(e.header_top);
  c.header_bottom = QColor(e.header_bottom);
  c.tab_bottom = mix(c.window, c.border, 0.3);
  c.tab_text = with_contrast(mix(c.text, c.window, 0.2), c.tab_bottom, 4.5);
  c.row_inactive = mix(c.base, c.accent, 0.22);
  c.indicator_border = with_contrast(mix(c.border, c.text, 0.25), c.base, 3);
  c.radius = e.radius;
  return c;
}

QString skin_style_sheet(int number) {
  if (!is_skin(number)) return {};
  register_skin_resources();
  QFile file(QStringLiteral(":/skin/skin.qss"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QString sheet = QString::fromUtf8(file.readAll());
  const QHash<QString, QString> values = template_values(number);
  static const QRegularExpression slot(QStringLiteral("\\{\\{(\\w+)\\}\\}"));
  QString out;
  out.reserve(sheet.size());
  qsizetype at = 0;
  for (auto it = slot.globalMatch(sheet); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    out += QStringView(sheet).mid(at, m.capturedStart() - at);
    const auto value = values.constFind(m.captured(1));
    out += value != values.cend() ? *value : m.captured(0);
    at = m.capturedEnd();
  }
  out += QStringView(sheet).mid(at);
  return out;
}

void apply_skin(int number) {
  if (!is_skin(number)) return;
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!app) return;
  const QString sheet = skin_style_sheet(number);
  if (sheet.isEmpty()) return;
  // One base style under every skin, so a sheet looks the same everywhere.
  // (Once a sheet is set, the application's style is the sheet's own.)
  static bool on_base_style = false;
  if (!on_base_style) {
    QApplication::setStyle(new SkinBaseStyle);  // the application owns it
    on_base_style = true;
  }
  QApplication::setPalette(palette_of(skin_colours(number)));
  app->setStyleSheet(sheet);
  g_current_skin = number;
}

int current_skin() {
  return g_current_skin;
}

int kept_skin() {
  bool ok = false;
  const int number = user_settings().value(QLatin1String(kSkinKey)).toInt(&ok);
  return ok && is_skin(number) ? number : kDefaultSkin;
}

void choose_skin(int number) {
  if (!is_skin(number)) return;
  apply_skin(number);
  QSettings settings = user_settings();
  settings.setValue(QLatin1String(kSkinKey), number);
  settings.sync();
}

void add_skin_menu(QMenu& menu) {
  QMenu* skins = menu.addMenu(QStringLiteral("皮肤"));
  auto* group = new QActionGroup(skins);
  group->setExclusive(true);
  for (int number = kFirstSkin; number <= kLastSkin; ++number) {
    QAction* action =
        // Figure spaces keep the numbers right-aligned.
        skins->addAction(
            QStringLiteral("%1  %2").arg(number, 2, 10, QChar(0x2007)).arg(skin_name(number)));
    action->setCheckable(true);
    action->setChecked(number == current_skin());
    action->setData(number);
    group->addAction(action);
    // Queued: the style sheet is replaced once the menu has closed (the
    // menu itself may be gone by then).
    QObject::connect(
        action, &QAction::triggered, qApp, [number] { choose_skin(number); }, Qt::QueuedConnection);
  }
}

}  // namespace qnl
