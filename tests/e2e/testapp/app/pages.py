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

# What a page asks of its window. Every report that must outlive a
# navigation goes as a beacon.
REQUESTS = """<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Requests test page</title>
<style>a, button { display: inline-block; margin: 3px; padding: 3px; font-size: 15px; }</style>
<script>""" + REPORT + """
function beacon(kind, detail) {
  navigator.sendBeacon('/test/event?kind=' + kind + '&detail=' + encodeURIComponent(detail));
}
function save(name, text) {
  var a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([text], {type: 'application/json'}));
  a.download = name;
  document.body.appendChild(a);
  a.click();
}
</script></head><body>
<a href="/files/report.csv">Report link</a>
<a href="/files/inline.csv">Inline CSV link</a>
<a href="/files/bundle.zip">ZIP link</a>
<a href="/files/error.json">Error link</a>
<a href="/files/broken.bin">Broken download link</a>
<a href="/files/slow.bin?seconds=3">Short slow download link</a>
<a href="/files/slow.bin?seconds=60">Long slow download link</a>
<a download="note.txt" href="data:text/plain,a%20note">Data export link</a>
<a href="/auto-downloads">Page that downloads by itself</a>
<a href="https://example.invalid/blank" target="_blank">Blank target link</a>
<a href="/elsewhere?from=blank" target="_blank">Backend blank target link</a>
<a href="https://example.invalid/menu">External link</a>
<a href="/elsewhere?from=menu">Backend link</a>
<button onclick="save('export.json', '{&quot;runs&quot;: 3}')">Export JSON</button>
<button onclick="location = URL.createObjectURL(new Blob(['<p>x'], {type: 'text/html'}))">Open a blob page</button>
<button onclick="report('confirm', String(confirm('Deploy this?')))">Confirm</button>
<button onclick="var r = prompt('Name of the run?', 'nightly'); report('prompt', r === null ? 'null' : r)">Prompt</button>
<button onclick="beacon('opened', String(window.open('/elsewhere?from=open')))">Open a window of the backend</button>
<button onclick="report('opened', String(window.open('https://example.invalid/popup')))">Open a window elsewhere</button>
<button onclick="Notification.requestPermission().then(function (p) { report('permission', p);
  new Notification('Approval needed', {body: 'A call waits'}).onclick = function () {
    report('notification-click', ''); }; })">Notify</button>
<script>
report('notification-permission', Notification.permission);
console.log('console check ' + location.href);
console.warn('token ' + location.hash.slice(3));
fetch('/test/event?kind=loaded&detail=' + encodeURIComponent(location.pathname), {cache: 'no-store'});
</script>
</body></html>
"""

# Five downloads nobody clicked for, at once.
AUTO_DOWNLOADS = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><script>""" + REPORT + """</script></head>
<body><p>downloads by itself</p><script>
// One at a time: a download's navigation would replace the one before it.
[1, 2, 3, 4, 5].forEach(function (i) {
  setTimeout(function () {
    var a = document.createElement('a');
    a.href = 'data:text/plain,' + i;
    a.download = 'auto-' + i + '.txt';
    document.body.appendChild(a);
    a.click();
  }, i * 300);
});
report('loaded', location.pathname);
</script></body></html>
"""
