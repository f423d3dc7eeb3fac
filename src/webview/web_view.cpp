#include "webview/web_view.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkCookieJar>
#include <QRandomGenerator>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEngineCookieStore>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <QWidget>
#include <algorithm>

#include "ui/qt_text.h"

namespace qnl {
namespace {

constexpr char kScheme[] = "qnl";
const QString kHtmlHost = QStringLiteral("page");
// The page's own script world tells the bridge about window.open and page
// function calls with this DOM event; the bridge takes it as the page's word.
const QString kHintEvent = QStringLiteral("qnl-window-hint");
const QString kBridgeScript = QStringLiteral("qnl-bridge");
const QString kFunctionScript = QStringLiteral("qnl-page-functions");
// How long a window.open told by the page (or a user's click on a link with
// a target) and the engine's own request for it wait for each other: they
// travel on different channels, and a busy machine delays either. Only a
// request nothing told of (a middle click, say) waits this long.
constexpr qint64 kPairingMs = 2000;
constexpr size_t kMaxHints = 16;
// A page opening windows in a loop fills neither memory nor the timer queue:
// beyond this many waiting requests the oldest are dropped.
constexpr size_t kMaxPending = 32;
// Pages kept for serving: the one shown and the one before it, which may
// still be on its way when the next is handed over.
constexpr size_t kKeptPages = 2;

QString file_base_directory;

bool same_cookie(const QNetworkCookie& a, const QNetworkCookie& b) {
  return a.name() == b.name() && a.domain() == b.domain() && a.path() == b.path();
}

qint64 now_ms() {
  return QDateTime::currentMSecsSinceEpoch();
}

QString json_string(const QString& text) {
  return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact))
      .mid(1)
      .chopped(1);
}

QString encoded(const QUrl& url) {
  return url.toString(QUrl::FullyEncoded);
}

// Gives the jar's own selection to a plain list.
class CookieMatcher : public QNetworkCookieJar {
 public:
  explicit CookieMatcher(const std::list<QNetworkCookie>& cookies) {
    setAllCookies(QList<QNetworkCookie>(cookies.begin(), cookies.end()));
  }
};

QString channel_library() {
  QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

// Runs in a script world of its own: the page's scripts cannot see its
// functions, its channel to the host or its view of the DOM's prototypes.
QString bridge_source() {
  return channel_library() + QStringLiteral(R"JS(
;(function() {
  var host = null, queue = [];
  var top = window === window.top;
  function send(o) {
    var text = JSON.stringify(o);
    if (host) host.report(text); else queue.push(text);
  }
  if (typeof qt !== 'undefined' && qt.webChannelTransport) {
    new QWebChannel(qt.webChannelTransport, function(channel) {
      host = channel.objects.host;
      for (var i = 0; i < queue.length; ++i) host.report(queue[i]);
      queue = [];
    });
  }
  function policy() {
    var m = document.querySelector('meta[http-equiv="Content-Security-Policy" i]');
    return m ? String(m.getAttribute('content')) : '';
  }
  function absolute(url) {
    var a = document.createElement('a');
    a.href = url;
    return a.href;
  }
  // A user's click on a link that opens a window: its request need not wait
  // for a target name (a link's target is never taken as one).
  window.addEventListener('click', function(e) {
    if (!e.isTrusted) return;
    var el = e.target;
    while (el && !(el.tagName === 'A' || el.tagName === 'AREA')) el = el.parentElement;
    if (!el || !el.href) return;
    send({t: 'link', url: el.href});
  }, true);
  document.addEventListener(%1, function(e) {
    var o;
    try { o = JSON.parse(String(e.detail)); } catch (x) { return; }
    if (!o || typeof o !== 'object') return;
    if (o.t === 'open') {
      send({t: 'open', url: absolute(String(o.url)), name: String(o.name), top: top,
            policy: policy()});
    } else if (o.t === 'fn' && Array.isArray(o.args)) {
      send({t: 'fn', name: String(o.name), args: o.args.map(String)});
    }
  }, true);
})();
)JS")
                                 .arg(json_string(kHintEvent));
}

}  // namespace

// Serves the HTML texts handed to a view from the program's scheme, to the
// view itself and to its own pages only.
class HtmlSchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

  QUrl add(QByteArray page) {
    QString token;
    for (int i = 0; i < 2; ++i)
      token +=
          QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
    pages_.push_back({token, std::move(page)});
    while (pages_.size() > kKeptPages) pages_.pop_front();
    QUrl url;
    url.setScheme(QString::fromLatin1(kScheme));
    url.setHost(kHtmlHost);
    url.setPath(QLatin1Char('/') + token);
    return url;
  }

  void requestStarted(QWebEngineUrlRequestJob* job) override {
    const QUrl url = job->requestUrl();
    const QUrl from = job->initiator();
    // A page of another origin (a forum page, a post's image) asking for
    // one of ours gets nothing.
    const bool from_outside =
        from.isValid() && !from.isEmpty() && from.scheme() != QLatin1String(kScheme);
    if (job->requestMethod() != "GET" || from_outside) {
      job->fail(QWebEngineUrlRequestJob::RequestDenied);
      return;
    }
    if (url.host() == kHtmlHost) {
      for (const auto& [token, page] : pages_) {
        if (url.path() != QLatin1Char('/') + token) continue;
        auto* buffer = new QBuffer(job);
        buffer->setData(page);
        buffer->open(QIODevice::ReadOnly);
        job->reply(QByteArrayLiteral("text/html"), buffer);
        return;
      }
    }
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
  }

 private:
  std::list<std::pair<QString, QByteArray>> pages_;
};

// The host's end of the bridge, reachable from the bridge's script world
// only.
class BridgeEndpoint : public QObject {
  Q_OBJECT

 public:
  BridgeEndpoint(WebView* owner, QObject* parent) : QObject(parent), owner_(owner) {}
  Q_INVOKABLE void report(const QString& message) { owner_->on_bridge_message(message); }

 private:
  WebView* owner_;
};

class ViewPage : public QWebEnginePage {
 public:
  ViewPage(QWebEngineProfile* profile, WebView* owner)
      : QWebEnginePage(profile, owner), owner_(owner) {
    // No new view is ever made: the request goes to the host and nothing
    // else happens to it.
    connect(this, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) {
              owner_->on_engine_new_window(request.requestedUrl(), request.isUserInitiated());
            });
  }

 protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                const QString&) override {}

 private:
  WebView* owner_;
};

Text cookie_text_for(const std::list<QNetworkCookie>& cookies, const QUrl& url) {
  QStringList pairs;
  for (const QNetworkCookie& cookie : CookieMatcher(cookies).cookiesForUrl(url))
    pairs << QString::fromUtf8(cookie.name()) + QLatin1Char('=') +
                 QString::fromUtf8(cookie.value());
  return to_local(pairs.join(QStringLiteral("; ")));
}

WebView::WebView(QObject* parent) : QObject(parent) {}

WebView::~WebView() {
  destroy_view();
  // The profile goes after every page made with it.
  delete profile_;
  profile_ = nullptr;
}

void WebView::register_scheme() {
  if (QWebEngineUrlScheme::schemeByName(kScheme).name() == kScheme) return;
  QWebEngineUrlScheme scheme(kScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
  // Neither local nor secure: pages of the scheme reach no local file, and
  // the forum's plain-http pictures still load in them.
  scheme.setFlags({});
  QWebEngineUrlScheme::registerScheme(scheme);
}

const char* WebView::scheme() {
  return kScheme;
}

QWebEngineProfile* WebView::profile() {
  if (profile_) return profile_;
  // Each view has its own profile (user agents differ between views). Off
  // the record: the logins the program keeps are stored by the program
  // itself, nothing else of a browsing session is left on disk.
  profile_ = new QWebEngineProfile();
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
  // Only a page from a local file the program itself loads is local
  // content: it may show the pictures beside it. No page reads other
  // origins by script; HTML text is not local content at all.
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
  scheme_handler_ = new HtmlSchemeHandler(profile_);
  if (QWebEngineUrlScheme::schemeByName(kScheme).name() == kScheme)
    profile_->installUrlSchemeHandler(kScheme, scheme_handler_);
  else
    qWarning("web view: the program's URL scheme was not registered at start-up");
  return profile_;
}

QString WebView::base_directory() {
  if (file_base_directory.isEmpty()) file_base_directory = QCoreApplication::applicationDirPath();
  return file_base_directory;
}

bool WebView::create_view(QWidget* host) {
  if (view_) return true;
  if (!host) return false;
  if (!page_) {
    page_ = new ViewPage(profile(), this);
    connect(page_, &QWebEnginePage::loadFinished, this, &WebView::load_finished);
    auto* channel = new QWebChannel(page_);
    channel->registerObject(QStringLiteral("host"), new BridgeEndpoint(this, channel));
    page_->setWebChannel(channel, QWebEngineScript::ApplicationWorld);
    QWebEngineScript bridge;
    bridge.setName(kBridgeScript);
    bridge.setInjectionPoint(QWebEngineScript::DocumentCreation);
    bridge.setWorldId(QWebEngineScript::ApplicationWorld);
    bridge.setRunsOnSubFrames(true);
    bridge.setSourceCode(bridge_source());
    page_->scripts().insert(bridge);
    functions_installed_ = false;
    install_page_functions();
  }
  view_ = new QWebEngineView(host);
  view_->setPage(page_);
  if (!user_agent_.isEmpty()) page_->profile()->setHttpUserAgent(user_agent_);
  page_->setZoomFactor(zoom_);
  if (!host->layout()) {
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
  }
  host->layout()->addWidget(view_);
  view_->show();
  return true;
}

void WebView::destroy_view() {
  // The host window may have deleted the view already; the page is ours
  // and goes either way, before its profile.
  if (QWebEngineView* view = view_) {
    view_ = nullptr;
    delete view;
  }
  delete page_.data();
  page_ = nullptr;
  html_url_.clear();
  functions_installed_ = false;
  hints_.clear();
  pending_.clear();
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
    // own directory.
    file_base_directory = local.absolutePath();
    page_->load(QUrl::fromLocalFile(local.absoluteFilePath()));
    return;
  }
  page_->load(QUrl::fromUserInput(address));
}

void WebView::load_html(TextView html) {
  if (!page_ || !scheme_handler_) return;
  // The byte order mark tells the engine the encoding whatever the page
  // declares (or leaves out).
  html_url_ = scheme_handler_->add(QByteArrayLiteral("\xEF\xBB\xBF") + to_qstring(html).toUtf8());
  page_->load(html_url_);
}

bool WebView::shows_html() const {
  return page_ && html_url_.isValid() && page_->url().adjusted(QUrl::RemoveFragment) == html_url_;
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
  return cookie_text_for(cookies_, page_->url());
}

void WebView::set_new_window_handler(NewWindowHandler handler) {
  new_window_handler_ = std::move(handler);
}

void WebView::bind_page_function(const QString& name, int argument_count, PageFunction handler) {
  page_functions_[name] = {argument_count, std::move(handler)};
  install_page_functions();
}

void WebView::run_script(const QString& script, std::function<void(const QVariant&)> done) {
  if (!page_) return;
  if (done)
    page_->runJavaScript(script, [done = std::move(done)](const QVariant& v) { done(v); });
  else
    page_->runJavaScript(script);
}

void WebView::install_page_functions() {
  if (!page_) return;
  QString functions;
  for (const auto& [name, binding] : page_functions_) {
    functions += QStringLiteral(
                     "  window[%1] = function() { tell({t: 'fn', name: %1, args: "
                     "Array.prototype.slice.call(arguments, 0, %2).map(String)}); };\n")
                     .arg(json_string(name))
                     .arg(binding.first);
  }
  // Binding the same names again (every layout of the main window does)
  // leaves the page's scripts as they are.
  if (functions_installed_ && functions == installed_functions_) return;
  installed_functions_ = functions;
  functions_installed_ = true;
  // In the page's own world: tells the bridge the target name of each
  // window.open, then lets the engine have the request as it would anyway.
  const QString source = QStringLiteral(R"JS((function() {
  var open = window.open;
  var doc = document;
  function tell(o) { doc.dispatchEvent(new CustomEvent(%1, {detail: JSON.stringify(o)})); }
  // The engine always gets a new unnamed window to ask for: a named one it
  // still holds from an earlier request (a refused one goes away only a
  // little later) would be navigated instead, and nobody would be asked.
  window.open = function(url, name, features) {
    tell({t: 'open', url: url === undefined ? '' : String(url),
          name: name === undefined ? '' : String(name)});
    return open.call(window, url, '_blank', features === undefined ? '' : features);
  };
%2})();)JS")
                             .arg(json_string(kHintEvent), functions);
  QWebEngineScriptCollection& scripts = page_->scripts();
  for (const QWebEngineScript& old : scripts.find(kFunctionScript)) scripts.remove(old);
  QWebEngineScript script;
  script.setName(kFunctionScript);
  script.setInjectionPoint(QWebEngineScript::DocumentCreation);
  script.setWorldId(QWebEngineScript::MainWorld);
  script.setRunsOnSubFrames(true);
  script.setSourceCode(source);
  scripts.insert(script);
}

void WebView::on_bridge_message(const QString& message) {
  const QJsonObject o = QJsonDocument::fromJson(message.toUtf8()).object();
  const QString kind = o.value(QStringLiteral("t")).toString();
  if (kind == QLatin1String("open") || kind == QLatin1String("link")) {
    OpenHint hint;
    hint.url = encoded(QUrl(o.value(QStringLiteral("url")).toString()));
    hint.named = kind == QLatin1String("open");
    hint.name = o.value(QStringLiteral("name")).toString();
    hint.top_frame = o.value(QStringLiteral("top")).toBool();
    hint.policy = o.value(QStringLiteral("policy")).toString();
    hint.at_ms = now_ms();
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
      if (it->url != hint.url) continue;
      const PendingRequest request = *it;
      pending_.erase(it);
      deliver(request, &hint);
      return;
    }
    hints_.push_back(std::move(hint));
    while (hints_.size() > kMaxHints) hints_.pop_front();
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
  PendingRequest request{encoded(url), user_initiated, now_ms()};
  std::erase_if(hints_, [](const OpenHint& h) { return now_ms() - h.at_ms > kPairingMs; });
  for (auto it = hints_.begin(); it != hints_.end(); ++it) {
    if (it->url != request.url) continue;
    const OpenHint hint = *it;
    hints_.erase(it);
    deliver(request, &hint);
    return;
  }
  // The page's word on the target name may still be on its way.
  pending_.push_back(std::move(request));
  while (pending_.size() > kMaxPending) pending_.pop_front();
  if (!pairing_timer_) {
    pairing_timer_ = new QTimer(this);
    pairing_timer_->setSingleShot(true);
    connect(pairing_timer_, &QTimer::timeout, this, &WebView::deliver_overdue);
  }
  if (!pairing_timer_->isActive()) pairing_timer_->start(kPairingMs);
}

void WebView::deliver_overdue() {
  const qint64 now = now_ms();
  while (!pending_.empty() && now - pending_.front().at_ms >= kPairingMs) {
    const PendingRequest request = pending_.front();
    pending_.pop_front();
    deliver(request, nullptr);
  }
  if (!pending_.empty())
    pairing_timer_->start(
        static_cast<int>(std::max<qint64>(1, kPairingMs - (now - pending_.front().at_ms))));
}

void WebView::deliver(const PendingRequest& pending, const OpenHint* hint) {
  if (!new_window_handler_ || pending.url.isEmpty()) return;
  NewWindowRequest request;
  request.url = to_local(pending.url);
  request.user_initiated = pending.user_initiated;
  if (hint && hint->named) {
    request.source = NewWindowSource::script;
    request.target = to_local(hint->name);
    request.top_frame = hint->top_frame;
    request.page_policy = to_local(hint->policy);
  }
  new_window_handler_(request);
}

}  // namespace qnl

#include "web_view.moc"
