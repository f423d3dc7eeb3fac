#include "webview/web_view.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkCookie>
#include <QWebEngineCookieStore>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWidget>

#include "ui/qt_text.h"

namespace qnl {
namespace {

// Page scripts report window requests and bound function calls to the host
// as console messages carrying this tag.
const QString kChannelTag = QStringLiteral("\x01qnl-host:");
const QString kScriptName = QStringLiteral("qnl-host-bridge");

int engine_starts = 0;
QString file_base_directory;

bool same_cookie(const QNetworkCookie& a, const QNetworkCookie& b) {
  return a.name() == b.name() && a.domain() == b.domain() && a.path() == b.path();
}

bool cookie_applies(const QNetworkCookie& cookie, const QUrl& url) {
  const QString host = url.host().toLower();
  QString domain = cookie.domain().toLower();
  if (!domain.isEmpty()) {
    if (domain.startsWith('.')) domain.remove(0, 1);
    if (host != domain && !host.endsWith('.' + domain)) return false;
  }
  QString path = cookie.path().isEmpty() ? QStringLiteral("/") : cookie.path();
  QString url_path = url.path().isEmpty() ? QStringLiteral("/") : url.path();
  if (!url_path.startsWith(path)) return false;
  if (cookie.isSecure() && url.scheme() != QLatin1String("https")) return false;
  if (!cookie.isSessionCookie() && cookie.expirationDate() < QDateTime::currentDateTime())
    return false;
  return true;
}

// Keeps the created engine view the size of its host.
class HostFollower : public QObject {
 public:
  HostFollower(QWidget* host, QWidget* view) : QObject(host), view_(view) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize && view_)
      view_->setGeometry(0, 0, static_cast<QWidget*>(watched)->width(),
                         static_cast<QWidget*>(watched)->height());
    return false;
  }

 private:
  QPointer<QWidget> view_;
};

}  // namespace

class ViewPage : public QWebEnginePage {
 public:
  ViewPage(QWebEngineProfile* profile, WebView* owner)
      : QWebEnginePage(profile, owner), owner_(owner) {
    connect(this, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) {
              owner_->on_engine_new_window(request.requestedUrl(), request.isUserInitiated());
            });
  }

 protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                const QString&) override {
    if (message.startsWith(kChannelTag))
      owner_->on_console_message(message.mid(kChannelTag.size()));
  }

 private:
  WebView* owner_;
};

WebView::WebView(QObject* parent) : QObject(parent) {}

WebView::~WebView() {
  destroy_view();
}

QWebEngineProfile* WebView::profile() {
  if (profile_) return profile_;
  // Each view has its own profile (user agents differ between views). Off
  // the record: the logins the program keeps are stored by the program
  // itself, nothing else of a browsing session is left on disk.
  profile_ = new QWebEngineProfile(this);
  // Its HTTP cache lives in memory all day: a few MB, not Chromium's share
  // of the machine's memory.
  profile_->setHttpCacheMaximumSize(8 * 1024 * 1024);
  QWebEngineCookieStore* store = profile_->cookieStore();
  connect(store, &QWebEngineCookieStore::cookieAdded, this, [this](const QNetworkCookie& c) {
    for (auto& known : cookies_) {
      if (same_cookie(known, c)) {
        known = c;
        return;
      }
    }
    cookies_.push_back(c);
  });
  connect(store, &QWebEngineCookieStore::cookieRemoved, this, [this](const QNetworkCookie& c) {
    cookies_.remove_if([&](const QNetworkCookie& known) { return same_cookie(known, c); });
  });
  QWebEngineSettings* settings = profile_->settings();
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
  settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
  return profile_;
}

void WebView::start_engine() {
  ++engine_starts;
}

void WebView::stop_engine() {
  // Qt WebEngine cannot be finalised and started again within a process, and
  // the main window's view must outlive the login centre: only count.
  if (engine_starts > 0) --engine_starts;
}

QString WebView::base_directory() {
  if (file_base_directory.isEmpty()) file_base_directory = QCoreApplication::applicationDirPath();
  return file_base_directory;
}

bool WebView::create_view(QWidget* host) {
  if (view_) return true;
  if (!host) return false;
  view_ = new QWebEngineView(host);
  page_ = new ViewPage(profile(), this);
  view_->setPage(page_);
  connect(page_, &QWebEnginePage::loadFinished, this, &WebView::load_finished);
  if (!user_agent_.isEmpty()) page_->profile()->setHttpUserAgent(user_agent_);
  page_->setZoomFactor(zoom_);
  install_scripts();
  view_->setGeometry(0, 0, host->width(), host->height());
  host->installEventFilter(new HostFollower(host, view_));
  view_->show();
  return true;
}

void WebView::destroy_view() {
  // The host window may have deleted the view already; the page is ours,
  // not the view's, and goes in either case, before the profile it uses.
  QWebEngineView* view = view_;
  view_ = nullptr;
  delete view;
  delete page_;
  page_ = nullptr;
}

bool WebView::created() const {
  return !view_.isNull();
}

void WebView::load_url(TextView url) {
  if (!page_) return;
  const QString address = to_qstring(url);
  const QFileInfo local(address);
  if (local.isAbsolute() && !address.contains(QStringLiteral("://")) && local.exists()) {
    // A page from a local file resolves its relative resources against its
    // own directory, and so do later HTML texts.
    file_base_directory = local.absolutePath();
    page_->load(QUrl::fromLocalFile(local.absoluteFilePath()));
    return;
  }
  page_->load(QUrl::fromUserInput(address));
}

void WebView::load_html(TextView html) {
  if (!page_) return;
  page_->setHtml(to_qstring(html), QUrl::fromLocalFile(base_directory() + QLatin1Char('/')));
}

void WebView::set_user_agent(TextView user_agent) {
  user_agent_ = to_qstring(user_agent);
  if (page_) page_->profile()->setHttpUserAgent(user_agent_);
}

void WebView::set_zoom(double factor) {
  zoom_ = factor;
  if (page_) page_->setZoomFactor(factor);
}

QString WebView::current_url() const {
  return page_ ? page_->url().toString() : QString();
}

Text WebView::get_cookies() const {
  if (!page_) return {};
  const QUrl url = page_->url();
  QStringList pairs;
  for (const QNetworkCookie& cookie : cookies_) {
    if (cookie_applies(cookie, url))
      pairs << QString::fromUtf8(cookie.name()) + QLatin1Char('=') +
                   QString::fromUtf8(cookie.value());
  }
  return to_local(pairs.join(QStringLiteral("; ")));
}

void WebView::set_new_window_handler(NewWindowHandler handler) {
  new_window_handler_ = std::move(handler);
}

void WebView::bind_page_function(const QString& name, int argument_count, PageFunction handler) {
  page_functions_[name] = {argument_count, std::move(handler)};
  install_scripts();
}

void WebView::run_script(const QString& script, std::function<void(const QVariant&)> done) {
  if (!page_) return;
  if (done)
    page_->runJavaScript(script, [done = std::move(done)](const QVariant& v) { done(v); });
  else
    page_->runJavaScript(script);
}

void WebView::install_scripts() {
  if (!page_) return;
  QString functions;
  for (const auto& [name, binding] : page_functions_) {
    functions +=
        QStringLiteral(
            "window[%1] = function() { send({t: 'fn', name: %1, args: "
            "Array.prototype.slice.call(arguments, 0, %2).map(String)}); };\n")
            .arg(QString::fromUtf8(QJsonDocument(QJsonArray{name}).toJson(QJsonDocument::Compact))
                     .mid(1)
                     .chopped(1))
            .arg(binding.first);
  }
  // Runs before any page script: keeps its own handle on console.debug, so
  // a page cannot silence the channel, and turns window.open and links with
  // a target into requests the host decides on.
  const QString source =
      QStringLiteral(R"JS((function() {
  var debug = console.debug.bind(console);
  var stringify = JSON.stringify;
  var activation = navigator.userActivation;
  var top = window === window.top;
  var tag = %1;
  function send(o) { debug(tag + stringify(o)); }
  function policy() {
    var m = document.querySelector('meta[http-equiv="Content-Security-Policy" i]');
    return m ? String(m.getAttribute('content')) : '';
  }
  function absolute(url) { var a = document.createElement('a'); a.href = url; return a.href; }
  window.open = function(url, name) {
    send({t: 'open', url: absolute(url === undefined ? '' : String(url)),
          name: name === undefined ? '' : String(name), via: 'script',
          user: activation ? activation.isActive === true : false, top: top,
          policy: policy()});
    return null;
  };
  document.addEventListener('click', function(e) {
    var el = e.target;
    while (el && !(el.tagName === 'A' || el.tagName === 'AREA')) el = el.parentElement;
    if (!el || !el.href) return;
    var target = el.getAttribute('target');
    if (target === null) {
      var base = document.querySelector('base[target]');
      target = base ? base.getAttribute('target') : '';
    }
    target = (target || '').trim();
    if (!target || target === '_self' || target === '_top' || target === '_parent' ||
        target === window.name) return;
    e.preventDefault();
    send({t: 'open', url: el.href, name: target, via: 'link', user: e.isTrusted === true,
          top: top, policy: policy()});
  }, true);
  %2
})();)JS")
          .arg(QString::fromUtf8(
                   QJsonDocument(QJsonArray{kChannelTag}).toJson(QJsonDocument::Compact))
                   .mid(1)
                   .chopped(1),
               functions);
  QWebEngineScriptCollection& scripts = page_->scripts();
  for (const QWebEngineScript& old : scripts.find(kScriptName)) scripts.remove(old);
  QWebEngineScript script;
  script.setName(kScriptName);
  script.setInjectionPoint(QWebEngineScript::DocumentCreation);
  script.setWorldId(QWebEngineScript::MainWorld);
  script.setRunsOnSubFrames(true);
  script.setSourceCode(source);
  scripts.insert(script);
}

void WebView::on_console_message(const QString& message) {
  const QJsonObject o = QJsonDocument::fromJson(message.toUtf8()).object();
  const QString kind = o.value(QStringLiteral("t")).toString();
  if (kind == QLatin1String("open")) {
    if (!new_window_handler_) return;
    NewWindowRequest request;
    request.url = to_local(o.value(QStringLiteral("url")).toString());
    request.target = to_local(o.value(QStringLiteral("name")).toString());
    request.source = o.value(QStringLiteral("via")).toString() == QLatin1String("script")
                         ? NewWindowSource::script
                         : NewWindowSource::link;
    request.user_initiated = o.value(QStringLiteral("user")).toBool();
    request.top_frame = o.value(QStringLiteral("top")).toBool();
    request.page_policy = to_local(o.value(QStringLiteral("policy")).toString());
    new_window_handler_(request);
  } else if (kind == QLatin1String("fn")) {
    const auto found = page_functions_.find(o.value(QStringLiteral("name")).toString());
    if (found == page_functions_.end() || !found->second.second) return;
    std::vector<Text> arguments;
    for (const QJsonValue& v : o.value(QStringLiteral("args")).toArray())
      arguments.push_back(to_local(v.toString()));
    arguments.resize(static_cast<size_t>(found->second.first));
    found->second.second(arguments);
  }
}

void WebView::on_engine_new_window(const QUrl& url, bool user_initiated) {
  // Requests the page script did not see (a form with a target, a middle
  // click); no new view is ever made for them.
  if (!new_window_handler_) return;
  NewWindowRequest request;
  request.url = to_local(url.toString());
  request.user_initiated = user_initiated;
  new_window_handler_(request);
}

}  // namespace qnl
