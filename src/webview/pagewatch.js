// The player's look at every document it shows, from the viewer's own
// script world: the documents' own scripts can reach neither this nor the
// channel it reports through.
(function () {
  'use strict';

  // The channel is opened only when there is something to tell: most
  // documents are pages, which load as if nobody watched.
  var reports = null;
  var waiting = null;
  function tell(name, args) {
    if (reports)
      return reports[name].apply(reports, args);
    if (waiting)
      return waiting.push([name, args]);
    waiting = [[name, args]];
    var QWebChannel = lichuanWebChannel();
    new QWebChannel(qt.webChannelTransport, function (channel) {
      reports = channel.objects.reports;
      waiting.forEach(function (m) { reports[m[0]].apply(reports, m[1]); });
      waiting = [];
    });
  }

  var href = location.href;
  var TEXT_WANTED = 64;

  // [type, text, bare]: a document that is nothing but text (no markup at
  // all) gives the beginning of that text; null for what is no text
  // document; undefined while nothing is in yet.
  window.lichuanLook = function () {
    var type = document.contentType;
    if (type !== 'text/html' && type !== 'text/plain')
      return null;
    var body = document.body;
    var node = body && body.firstChild;
    if (!node)
      return undefined;
    if (type === 'text/html' && ((document.head && document.head.firstElementChild)
        || node.nodeType !== Node.TEXT_NODE))
      return [type, '', false];
    // A text document's text sits in one element of the engine's.
    if (node.nodeType === Node.ELEMENT_NODE)
      node = node.firstChild;
    return [type, node && node.nodeType === Node.TEXT_NODE ? node.data.slice(0, 1024) : '', true];
  };

  // The player's own stream page: what it says of the stream, as it says it.
  function watchStreamPage(root) {
    var said = {};
    function report() {
      var state = root.dataset.state || '';
      var failure = root.dataset.failure || '';
      if (state !== said.state) {
        said.state = state;
        tell('streamState', [href, root.dataset.page, state]);
      }
      if (failure && failure !== said.failure) {
        said.failure = failure;
        tell('streamFailure', [href, root.dataset.page, failure.replace(/^\d+ /, '')]);
      }
    }
    new MutationObserver(report).observe(root, { attributes: true });
    report();
  }

  var looked = false;
  function look() {
    var root = document.documentElement;
    if (looked || !root)
      return;
    if (root.dataset.page !== undefined && root.dataset.kind !== undefined) {
      looked = true;
      observer.disconnect();
      return watchStreamPage(root);
    }
    var seen = window.lichuanLook();
    if (seen === undefined)
      return;
    // Enough of the text to tell what it is, or all there will be.
    if (seen && seen[2] && seen[1].length < TEXT_WANTED && document.readyState === 'loading')
      return;
    looked = true;
    observer.disconnect();
    // Only text may be a stream; pages are judged by how their load ends.
    if (seen && seen[2])
      tell('shown', [href, seen[0], seen[1]]);
  }
  var observer = new MutationObserver(look);
  observer.observe(document, { childList: true, subtree: true, characterData: true });
  document.addEventListener('DOMContentLoaded', look);
})();
