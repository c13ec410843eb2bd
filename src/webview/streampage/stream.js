// Plays the live stream this page stands in for. Every request goes to the
// viewer's relay, which is this page's own origin, and the address is only
// ever read as data.
(function () {
  'use strict';

  var root = document.documentElement;
  // The bounds come from the player, in milliseconds.
  function bound(name, fallback) {
    var v = parseInt(root.dataset[name], 10);
    return v > 0 ? v : fallback;
  }
  var GIVE_UP_MS = bound('giveUp', 60000);          // nothing at all for this long: the end
  var FIRST_PAUSE_MS = bound('firstPause', 1000);   // pauses between reconnections grow from here
  var LONGEST_PAUSE_MS = bound('longestPause', 30000);
  var STALL_MS = bound('stall', 10000);             // playing, yet the picture stood still this long: a drop
  var HUNG_UP_MS = 2000;       // the server hung up and what came has run out

  var kind = root.dataset.kind;
  root.style.setProperty('--covered', (parseInt(root.dataset.covered, 10) || 0) + 'px');
  // What this engine decodes, as the relay's codec keys: the relay judges
  // each stream by it before a byte reaches the players.
  var PROBES = {
    h264: 'video/mp4; codecs="avc1.42E01E"',
    h265: 'video/mp4; codecs="hvc1.1.6.L93.B0"',
    mpeg2v: 'video/mp4; codecs="mp4v.61"',
    mpeg1v: 'video/mp4; codecs="mp4v.6A"',
    mp4v: 'video/mp4; codecs="mp4v.20.9"',
    vp8: 'video/webm; codecs="vp8"',
    vp9: 'video/mp4; codecs="vp09.00.10.08"',
    av1: 'video/mp4; codecs="av01.0.04M.08"',
    aac: 'audio/mp4; codecs="mp4a.40.2"',
    mpega: 'audio/mpeg',
    ac3: 'audio/mp4; codecs="ac-3"',
    eac3: 'audio/mp4; codecs="ec-3"',
    opus: 'audio/mp4; codecs="opus"',
    dts: 'audio/mp4; codecs="dtsc"'
  };
  function decodable() {
    var keys = [];
    if (window.MediaSource) {
      for (var key in PROBES) {
        if (MediaSource.isTypeSupported(PROBES[key]))
          keys.push(key);
      }
    }
    return keys.join(',');
  }
  var source = root.dataset.source ? root.dataset.source + '?can=' + decodable() : '';
  var video = document.getElementById('tv');
  var statusBox = document.getElementById('status');
  var headline = document.getElementById('headline');
  var reasonLine = document.getElementById('reason');
  var note = document.getElementById('note');
  var line = document.getElementById('line');
  if (root.dataset.line) {
    line.textContent = root.dataset.line;
    line.hidden = false;
  }

  var player = null;
  var retryTimer = 0;
  var pause = FIRST_PAUSE_MS;
  var lastProgress = Date.now();
  var lastTime = -1;
  var lastReason = '无法连接';
  var everPlayed = false;
  var ended = false;
  var troubled = false;        // a network error since the stream last gave data
  var hungUp = false;          // the server ended a stream that has no end
  var failures = 0;

  // Only the words while there is no picture: an empty player's controls
  // would say nothing but 0:00.
  function show(state, text, reason) {
    video.controls = false;
    root.dataset.state = state;
    headline.textContent = text;
    reasonLine.textContent = reason || '';
    statusBox.hidden = false;
  }

  function progressed() {
    lastProgress = Date.now();
    troubled = false;
  }

  function teardown() {
    if (!player)
      return;
    var p = player;
    player = null;
    try { p.destroy(); } catch (e) { /* already gone */ }
    video.removeAttribute('src');
    video.load();
  }

  function end(reason) {
    if (ended)
      return;
    ended = true;
    clearTimeout(retryTimer);
    teardown();
    note.hidden = true;
    show('ended', '无法播放此频道', reason);
  }

  function serverError(code) {
    return typeof code === 'number' && code >= 400 ? '服务器错误 ' + code : '';
  }

  // What failed, for the player to judge: "unreachable" (no answer at
  // all), "timeout", "format" or the HTTP status. It may end the page.
  function failed(what) {
    failures += 1;
    root.dataset.failure = failures + ' ' + what;
  }

  // What a network failure was: the status the server gave, or none.
  function networkFailure(code, timedOut) {
    if (typeof code === 'number' && code >= 400)
      return String(code);
    return timedOut ? 'timeout' : 'unreachable';
  }

  // A failure while connecting or playing: try again after a growing pause,
  // until nothing has come for GIVE_UP_MS.
  function dropped(reason, what) {
    if (ended)
      return;
    if (what)
      failed(what);
    lastReason = reason || lastReason;
    teardown();
    clearTimeout(retryTimer);
    var left = GIVE_UP_MS - (Date.now() - lastProgress);
    if (left <= 0)
      return end(lastReason);
    if (everPlayed)
      show('reconnecting', '信号中断，正在重新连接…');
    else
      show('connecting', '正在连接…');
    retryTimer = setTimeout(connect, Math.min(pause, left));
    pause = Math.min(pause * 2, LONGEST_PAUSE_MS);
  }

  function startHls() {
    if (!window.Hls || !Hls.isSupported())
      return end('格式不支持');
    // Tuned for zapping: the first fragment is fetched while the media
    // source opens, no worker to spin up, a short buffer and back buffer
    // so hours of watching hold steady memory. Retries are ours.
    function quickRetries(maxLoadTimeMs) {
      var retry = { maxNumRetry: 2, retryDelayMs: 500, maxRetryDelayMs: 2000 };
      return { default: { maxTimeToFirstByteMs: 10000, maxLoadTimeMs: maxLoadTimeMs,
        timeoutRetry: retry, errorRetry: retry } };
    }
    var hls = new Hls({
      enableWorker: false,
      startFragPrefetch: true,
      testBandwidth: false,
      liveSyncDurationCount: 2,
      maxBufferLength: 12,
      maxMaxBufferLength: 24,
      backBufferLength: 10,
      manifestLoadPolicy: quickRetries(20000),
      playlistLoadPolicy: quickRetries(20000),
      fragLoadPolicy: quickRetries(30000)
    });
    player = hls;
    hls.on(Hls.Events.FRAG_LOADED, progressed);
    hls.on(Hls.Events.ERROR, function (event, data) {
      if (player !== hls)
        return;
      var d = data.details;
      // Not a playlist, or nothing in it this engine can decode. hls.js
      // reports a playlist it cannot parse as a network error.
      if (d === Hls.ErrorDetails.MANIFEST_PARSING_ERROR
          || d === Hls.ErrorDetails.LEVEL_PARSING_ERROR
          || d === Hls.ErrorDetails.MANIFEST_INCOMPATIBLE_CODECS_ERROR
          || d === Hls.ErrorDetails.BUFFER_ADD_CODEC_ERROR
          || d === Hls.ErrorDetails.BUFFER_INCOMPATIBLE_CODECS_ERROR)
        return end('格式不支持');
      if (data.type === Hls.ErrorTypes.NETWORK_ERROR) {
        var failure = serverError(data.response && data.response.code);
        troubled = true;
        if (failure)
          lastReason = failure;
        if (data.fatal) {
          var timedOut = /TIMEOUT/.test(d);
          dropped(failure || '无法连接',
            networkFailure(data.response && data.response.code, timedOut));
        }
        return;
      }
      if (data.fatal) {
        if (data.type === Hls.ErrorTypes.MEDIA_ERROR && !hls.mediaErrorRecovered) {
          hls.mediaErrorRecovered = true;
          hls.recoverMediaError();
          return;
        }
        dropped('格式不支持', 'format');
      }
    });
    hls.loadSource(source);
    hls.attachMedia(video);
  }

  function startMpegts(type) {
    if (!window.mpegts || !mpegts.isSupported())
      return end('格式不支持');
    mpegts.LoggingControl.enableAll = false;
    // No stash buffer: the first frame is decoded as soon as it arrives.
    // The latency chase keeps a live stream near its edge after a stall.
    var p = mpegts.createPlayer({ type: type, isLive: true, url: source }, {
      enableWorker: false,
      enableStashBuffer: false,
      lazyLoad: false,
      liveBufferLatencyChasing: true,
      liveBufferLatencyMaxLatency: 4,
      liveBufferLatencyMinRemain: 1,
      autoCleanupSourceBuffer: true,
      autoCleanupMaxBackwardDuration: 20,
      autoCleanupMinBackwardDuration: 10
    });
    player = p;
    p.on(mpegts.Events.STATISTICS_INFO, function (info) {
      if (player === p && info.totalBytes > (p.lastBytes || 0)) {
        p.lastBytes = info.totalBytes;
        progressed();
      }
    });
    p.on(mpegts.Events.LOADING_COMPLETE, function () {
      // A live stream has no end: the server hung up. What came is played
      // out first; the picture running dry is the drop.
      if (player !== p)
        return;
      hungUp = true;
    });
    p.on(mpegts.Events.ERROR, function (type, detail, info) {
      if (player !== p)
        return;
      if (type === mpegts.ErrorTypes.MEDIA_ERROR)
        return end('格式不支持');
      var code = info && info.code;
      dropped(serverError(code) || '无法连接',
        networkFailure(code, detail === mpegts.ErrorDetails.NETWORK_TIMEOUT));
    });
    p.attachMediaElement(video);
    p.load();
  }

  function connect() {
    if (ended)
      return;
    lastTime = -1;
    hungUp = false;
    if (!source)
      end(root.dataset.reason || '格式不支持');
    else if (kind === 'hls')
      startHls();
    else if (kind === 'flv')
      startMpegts('flv');
    else if (kind === 'mpegts')
      startMpegts('mpegts');
    else
      end(root.dataset.reason || '格式不支持');
    if (player) {
      var started = video.play();
      if (started && started.catch)
        started.catch(function () { /* the next frame starts it */ });
    }
  }

  video.addEventListener('playing', function () {
    if (ended)
      return;
    everPlayed = true;
    pause = FIRST_PAUSE_MS;
    progressed();
    root.dataset.state = 'playing';
    statusBox.hidden = true;
    video.controls = true;
  });
  // Out of picture while the network fails: say so before the libraries give up.
  video.addEventListener('waiting', function () {
    if (hungUp && everPlayed)
      return dropped('无法连接');
    if (everPlayed && troubled && !ended)
      show('reconnecting', '信号中断，正在重新连接…');
  });
  video.addEventListener('ended', function () {
    if (player)
      dropped('无法连接');
  });
  // Only a picture that moves is progress: tearing a player down also
  // reports a time.
  video.addEventListener('timeupdate', function () {
    if (player && !video.paused && video.currentTime > 0 && video.currentTime !== lastTime) {
      lastTime = video.currentTime;
      progressed();
    }
  });
  video.addEventListener('error', function () {
    if (player)
      dropped('格式不支持', 'format');
  });

  // The watchdog: a stream that stands still is a drop, and nothing for
  // GIVE_UP_MS is the end, whatever the libraries are still trying.
  setInterval(function () {
    if (ended)
      return;
    // Paused by the viewer: quiet on purpose.
    if (video.paused && root.dataset.state === 'playing') {
      progressed();
      return;
    }
    var quiet = Date.now() - lastProgress;
    if (quiet >= GIVE_UP_MS)
      return end(lastReason);
    if (player && hungUp && quiet >= HUNG_UP_MS)
      return dropped('无法连接');
    if (player && root.dataset.state === 'playing' && quiet >= STALL_MS)
      dropped('无法连接');
  }, 1000);

  // The player's word: a picture this engine cannot show ends the channel
  // at once, and so does a source judged to have failed, with what was last
  // seen of it; sound it cannot play is named while the picture plays.
  window.lichuanVerdict = function (action, message) {
    if (action === 'refuse') {
      end(message);
    } else if (action === 'judge') {
      end(lastReason);
    } else if (action === 'leave') {
      // The player moves on; should the next page take a moment, say so
      // (the stop page is in before anyone could read it).
      ended = true;
      clearTimeout(retryTimer);
      teardown();
      note.hidden = true;
      statusBox.hidden = true;
      line.textContent = message;
      line.hidden = !message;
      setTimeout(function () { show('connecting', '正在连接…'); }, 300);
    } else if (action === 'nosound' && !ended) {
      note.textContent = message;
      note.hidden = false;
    }
  };

  connect();
})();
