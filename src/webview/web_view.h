// An embedded browser view over Qt WebEngine, exposing just what the program
// uses: load an address or HTML text, user agent, zoom, the cookies of the
// shown page, page-script functions, and new-window requests with the target
// window name the page asked for.
#pragma once

#include <QNetworkCookie>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWebEngineView>
#include <functional>
#include <list>
#include <map>
#include <vector>

#include "text/text.h"

class QWebEngineProfile;
class QWidget;

namespace qnl {

class ViewPage;

// Where a new-window request came from.
enum class NewWindowSource {
  engine,  // anything the page script did not see (a form with a target, ...)
  script,  // window.open
  link,    // a link with a target
};

// A page's request to open a new window: `window.open(url, name)`, a link
// with a target, or anything else the engine reports (target then empty).
struct NewWindowRequest {
  Text url;
  Text target;  // the target window name, for example "tosoft" or "_blank"
  // The user caused it: for window.open, the page had a transient user
  // activation (a real click or key press moments before); for a link, the
  // click was the user's, not a script's; otherwise the engine's word.
  bool user_initiated = false;
  NewWindowSource source = NewWindowSource::engine;
  bool top_frame = true;  // asked by the top frame, not a frame inside it
  // The content security policy the asking page declared in its head (the
  // first such meta element), for script and link requests.
  Text page_policy;
};

class WebView : public QObject {
  Q_OBJECT

 public:
  using NewWindowHandler = std::function<void(const NewWindowRequest&)>;
  using PageFunction = std::function<void(const std::vector<Text>& arguments)>;

  explicit WebView(QObject* parent = nullptr);
  ~WebView() override;

  // Creates the view inside `host`, filling it and following its size. A
  // second call on a created view does nothing and returns true; a null host
  // gives false.
  bool create_view(QWidget* host);
  // Undoes create_view; safe on a view never created.
  void destroy_view();
  bool created() const;

  void load_url(TextView url);
  void load_html(TextView html);
  void set_user_agent(TextView user_agent);
  void set_zoom(double factor);
  // name=value of every cookie that applies to the shown page, HttpOnly ones
  // included, joined by "; "; empty when none.
  Text get_cookies() const;
  void set_new_window_handler(NewWindowHandler handler);
  // Makes a global page-script function `name` taking `argument_count`
  // arguments; binding a name again replaces its handler.
  void bind_page_function(const QString& name, int argument_count, PageFunction handler);

  // The address and HTML text last handed to the view (the view keeps its
  // page across layouts).
  QString current_url() const;
  QWebEngineView* engine_view() const { return view_; }

  // Runs page script in the shown page (tests and the reader drive pages
  // with it); the result arrives in `done` on the UI thread.
  void run_script(const QString& script, std::function<void(const QVariant&)> done = {});

  // The engine is shared by every view and lives as long as any view or
  // start lasts: stopping it while another view exists keeps that view
  // working.
  static void start_engine();
  static void stop_engine();
  // Base directory against which relative resources of HTML text resolve:
  // the program's directory until a local file is loaded by absolute path.
  static QString base_directory();

 signals:
  void load_finished(bool ok);

 private:
  friend class ViewPage;
  void on_console_message(const QString& message);
  void on_engine_new_window(const QUrl& url, bool user_initiated);
  void install_scripts();
  QWebEngineProfile* profile();

  QWebEngineProfile* profile_ = nullptr;
  std::list<QNetworkCookie> cookies_;  // the profile's cookies, in arrival order
  QPointer<QWebEngineView> view_;
  ViewPage* page_ = nullptr;
  QString user_agent_;
  double zoom_ = 1.0;
  NewWindowHandler new_window_handler_;
  std::map<QString, std::pair<int, PageFunction>> page_functions_;
};

}  // namespace qnl
