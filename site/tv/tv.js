// Shared by the channel pages: status notices and a way out when autoplay is refused.
(function () {
  'use strict';
  var video = document.getElementById('tv');
  var notice = document.getElementById('notice');
  var name = document.querySelector('.name');

  function show(text) { notice.textContent = text; notice.hidden = false; }
  function hide() { notice.hidden = true; }

  function play() {
    var p = video.play();
    if (p && p.catch) {
      p.catch(function (e) {
        if (e && e.name === 'NotAllowedError') show('点击画面开始播放');
      });
    }
  }

  window.tvNoSignal = function () { show('暂无信号，请稍后再试'); };

  video.addEventListener('playing', hide);
  video.addEventListener('error', window.tvNoSignal);
  // autoplay may be refused silently; asking again surfaces the refusal.
  video.addEventListener('canplay', function () { if (video.paused) play(); }, { once: true });
  document.addEventListener('click', function () { if (video.paused) play(); });
  setTimeout(function () { name.classList.add('faded'); }, 4000);
})();
