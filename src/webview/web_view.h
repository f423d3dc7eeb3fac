// An embedded browser view over Qt WebEngine, exposing just what the program
// uses: load an address or HTML text, user agent, zoom, the cookies of the
// shown page, page-script functions, and new-window requests with the target
// window name the page asked for.
//
// Pages are other people's content. HTML text handed to the view is served
// from the program's own URL scheme (an origin of its own, no file access);
// what the host learns about a page's window requests comes from the engine
// itself (address, user activation) or from a script world the page cannot
// reach.
#pragma once

#include <QNetworkCookie>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWebEngineView>
#include <functional>
#include <list>
#include <map>
#include <vector>

#include "text/text.h"

class QTimer;
class QWebChannel;
class QWebEngineProfile;
class QWidget;

namespace qnl {

class ViewPage;
class HtmlSchemeHandler;
class BridgeEndpoint;

// Where a new-window request came from.
enum class NewWindowSource {
  engine,  // the engine's own request only (a link or form with a target, ...)
  script,  // window.open, paired with the engine's request for the same address
};

// A page's request to open a new window: `window.open(url, name)`, a link
// with a target, or anything else the engine reports. The address and the
// user activation are always the engine's word; the target name is known
// for window.open only (empty otherwise).
struct NewWindowRequest {
  Text url;     // fully percent-encoded
  Text target;  // the target window name, for example "tosoft" or "_blank"
  // The user caused it (a real click or key press moments before), as the
  // engine saw it: a script's click or a timer is never the user's.
  bool user_initiated = false;
  NewWindowSource source = NewWindowSource::engine;
  bool top_frame = true;  // asked by the top frame, not a frame inside it
  // The content security policy the asking page declared in its head (the
  // first such meta element), for script requests.
  Text page_policy;
};

// "name=value" of every cookie in `cookies` that a request for `url` would
// carry (domain, host-only, path, secure and expiry rules as Qt's own cookie
// jar applies them), joined by "; " in the jar's order.
Text cookie_text_for(const std::list<QNetworkCookie>& cookies, const QUrl& url);

class WebView : public QObject {
  Q_OBJECT

 public:
  using NewWindowHandler = std::function<void(const NewWindowRequest&)>;
  using PageFunction = std::function<void(const std::vector<Text>& arguments)>;

  explicit WebView(QObject* parent = nullptr);
  ~WebView() override;

  // Creates the view inside `host`, filling it through a zero-margin layout.
  // A second call on a created view does nothing and returns true; a null
  // host gives false.
  bool create_view(QWidget* host);
  // Undoes create_view; safe on a view never created.
  void destroy_view();
  bool created() const;

  void load_url(TextView url);
  // Shows HTML text (any size) from the program's own scheme: the page's
  // origin is its own, it reaches no local file, and relative addresses in
  // it lead nowhere.
  void load_html(TextView html);
  // The page shown now is the HTML text handed over last.
  bool shows_html() const;
  void set_user_agent(TextView user_agent);
  void set_zoom(double factor);
  // name=value of every cookie that applies to the shown page, HttpOnly ones
  // included, joined by "; "; empty when none.
  Text get_cookies() const;
  void set_new_window_handler(NewWindowHandler handler);
  // Makes a global page-script function `name` taking `argument_count`
  // arguments; binding a name again replaces its handler. Any page may call
  // it, so its handler must treat the arguments as the page's word.
  void bind_page_function(const QString& name, int argument_count, PageFunction handler);

  // The address and HTML text last handed to the view (the view keeps its
  // page across layouts).
  QString current_url() const;
  QWebEngineView* engine_view() const { return view_; }

  // Runs page script in the shown page (tests and the reader drive pages
  // with it); the result arrives in `done` on the UI thread.
  void run_script(const QString& script, std::function<void(const QVariant&)> done = {});

  // The engine is shared by every view and lives as long as the process:
  // starting and stopping it are kept for the callers' sake and change
  // nothing, so a view never stops working because another one closed.
  static void start_engine() {}
  static void stop_engine() {}
  // Registers the program's own URL scheme; must run before the
  // application object exists (later calls do nothing).
  static void register_scheme();
  static const char* scheme();
  // Base directory against which relative resources of HTML text resolve:
  // the program's directory until a local file is loaded by absolute path.
  static QString base_directory();

 signals:
  void load_finished(bool ok);

 private:
  friend class ViewPage;
  friend class BridgeEndpoint;
  // A window.open as the page told it: only its target name and frame are
  // taken, and only for the engine's own request of the same address.
  struct OpenHint {
    QString url;
    bool named = false;  // a window.open's (a link's click tells no name)
    QString name;
    bool top_frame = false;
    QString policy;
    qint64 at_ms = 0;
  };
  struct PendingRequest {
    QString url;
    bool user_initiated = false;
    qint64 at_ms = 0;
  };
  void on_bridge_message(const QString& message);
  void on_engine_new_window(const QUrl& url, bool user_initiated);
  void deliver(const PendingRequest& request, const OpenHint* hint);
  void deliver_overdue();
  void install_page_functions();
  QWebEngineProfile* profile();

  QWebEngineProfile* profile_ = nullptr;
  HtmlSchemeHandler* scheme_handler_ = nullptr;
  std::list<QNetworkCookie> cookies_;  // the profile's cookies, in arrival order
  QPointer<QWebEngineView> view_;
  QPointer<ViewPage> page_;
  QUrl html_url_;  // where the HTML text handed over last is served
  QString user_agent_;
  double zoom_ = 1.0;
  NewWindowHandler new_window_handler_;
  std::map<QString, std::pair<int, PageFunction>> page_functions_;
  QString installed_functions_;  // the page-function script in the page now
  bool functions_installed_ = false;
  std::list<OpenHint> hints_;
  std::list<PendingRequest> pending_;
  QTimer* pairing_timer_ = nullptr;
};

}  // namespace qnl
