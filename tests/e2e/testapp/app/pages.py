"""The pages the stand-in backend serves.

Scripts here only report what happened (to /test/event) and post to the
script bridge from inner frames on their own; every link and button is
operated from outside, by the test, as a person would.
"""

# Reports travel to the server of the document's own origin.
REPORT = """
function report(kind, detail) {
  fetch('/test/event?kind=' + encodeURIComponent(kind) +
        '&detail=' + encodeURIComponent(detail), {cache: 'no-store'});
}
function bridge() {
  var w = window.webkit;
  return w && w.messageHandlers && w.messageHandlers.studio;
}
"""

MAIN = """<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Policy test page</title>
<style>
  body { font: 16px sans-serif; margin: 8px; }
  a, button { display: block; margin: 3px 0; padding: 4px; font-size: 16px; }
  iframe { width: 360px; height: 40px; border: 1px solid #888; }
</style>
<script>""" + REPORT + """</script>
</head><body>
<h1>Policy test page</h1>
<a href="/elsewhere?x=1#part">Same origin link</a>
<a href="http://127.0.0.1:8080/eighty-eighty">Other port link</a>
<a href="http://localhost:7810/from-localhost">Localhost link</a>
<a href="https://example.invalid/outside?q=1">External https link</a>
<a href="mailto:someone@example.invalid">Mail link</a>
<a href="file:///etc/passwd">File link</a>
<a href="about:blank">About link</a>
<a href="data:text/html,%3Cp%3Edata%3C/p%3E">Data link</a>
<a href="/broken">Broken link</a>
<button id="log" type="button">Open the log from the page</button>
<button id="home" type="button">Open the data folder from the page</button>
<button id="restart" type="button">Restart the service from the page</button>
<button id="alert" type="button">Raise an alert</button>
<script>
document.getElementById('log').addEventListener('click', function () {
  bridge().postMessage({type: 'openLog'});
  report('main-posted', 'openLog');
});
document.getElementById('home').addEventListener('click', function () {
  bridge().postMessage({type: 'openHome', extra: 'ignored'});
  report('main-posted', 'openHome');
});
document.getElementById('restart').addEventListener('click', function () {
  bridge().postMessage({type: 'restartService'});
  report('main-posted', 'restartService');
});
document.getElementById('alert').addEventListener('click', function () {
  alert('The page says: hold on \u2014 \u201cquoted\u201d text.');
  fetch('/api/after-alert', {cache: 'no-store'});
});
// Every fragment this document sees, with the one it was loaded with: no
// document may ever see an install token other than its own.
var first = location.hash;
function saw() {
  navigator.sendBeacon('/test/event?kind=seen&detail=' + encodeURIComponent(first) +
                       '&fragment=' + encodeURIComponent(location.hash));
}
addEventListener('hashchange', saw);
addEventListener('popstate', saw);
addEventListener('pagehide', function () {
  navigator.sendBeacon('/test/event?kind=left&detail=' + encodeURIComponent(location.pathname));
  saw();
});
var h = bridge();
if (h) {
  // Bodies that must be ignored even from the main frame.
  h.postMessage('openLog');
  h.postMessage({type: 1});
  h.postMessage({type: 'OpenLog'});
  h.postMessage({kind: 'openLog'});
  report('main-posted', 'ignored-bodies');
} else {
  report('main-no-bridge', '/');
}
// The fragment carries the token the application loaded the page with.
fetch('/test/event?kind=loaded&detail=' + encodeURIComponent(location.pathname) +
      '&fragment=' + encodeURIComponent(location.hash), {cache: 'no-store'});
</script>
</body></html>
"""

FRAME = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><script>""" + REPORT + """</script></head>
<body><p>inner frame</p><script>
var name = new URLSearchParams(location.search).get('name');
var h = bridge();
if (h) { h.postMessage({type: 'openLog'}); report('frame-posted', name); }
else { report('frame-no-bridge', name); }
</script></body></html>
"""

OTHER = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Elsewhere</title><script>""" + REPORT + """</script>
<style>iframe { width: 360px; height: 40px; border: 1px solid #888; }</style>
</head><body><h1>Elsewhere on the backend</h1>
<iframe title="same origin frame" src="/frame?name=same-origin"></iframe>
<iframe title="sandboxed frame" sandbox="allow-scripts" src="/frame?name=sandboxed"></iframe>
<iframe title="written frame" id="written"></iframe>
<iframe title="srcdoc frame" srcdoc="<!DOCTYPE html><script>
  var w = window.webkit, h = w &amp;&amp; w.messageHandlers &amp;&amp; w.messageHandlers.studio;
  function report(k, d) { fetch('/test/event?kind=' + k + '&amp;detail=' + d); }
  if (h) { h.postMessage({type: 'openLog'}); report('frame-posted', 'srcdoc'); }
  else { report('frame-no-bridge', 'srcdoc'); }
</script><p>srcdoc frame</p>"></iframe>
<iframe title="other origin frame" src="http://127.0.0.2:7811/frame?name=other-origin"></iframe>
<iframe title="localhost frame" src="http://localhost:7810/frame?name=localhost"></iframe>
<script>
// An inner frame of this origin without an address of its own: the page writes it.
var written = document.getElementById('written').contentDocument;
written.open();
written.write('<!DOCTYPE html><p>written frame</p><script>' + report.toString() +
  bridge.toString() + 'var h = bridge(); if (h) { h.postMessage({type: "openLog"}); ' +
  'report("frame-posted", "written"); } else { report("frame-no-bridge", "written"); }' +
  '<\\/script>');
written.close();
</script>
<script>
addEventListener('pagehide', function () {
  navigator.sendBeacon('/test/event?kind=left&detail=' + encodeURIComponent(location.pathname));
});
report('loaded', location.pathname + location.search);
</script></body></html>
"""
