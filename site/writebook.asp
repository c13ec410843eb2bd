<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>留言反馈 - 栎川软件工作室</title>
<link rel="icon" href="/favicon.svg">
<link rel="stylesheet" href="/style.css">
</head>
<body>
<header class="site">
  <div class="inner">
    <a class="brand" href="index.htm">栎川软件工作室</a>
    <nav>
      <a href="index.htm">首页</a>
      <a href="msg.htm">信息公告</a>
      <a href="dh.htm">上网导航</a>
      <a class="here" href="writebook.asp">留言反馈</a>
    </nav>
  </div>
</header>
<main>
  <h1>留言反馈</h1>
  <p class="lead">使用中遇到问题，或希望增加哪些频道，都欢迎告诉我们。</p>
  <section class="card">
    <p id="thanks" class="thanks" hidden>感谢您的留言！我们会尽快查看。（本地演示站点不保存留言内容。）</p>
    <form class="feedback" id="feedback" method="post" action="writebook.asp">
      <label for="name">称呼</label>
      <input id="name" name="name" maxlength="20" placeholder="怎么称呼您" required>
      <label for="email">电子邮件（选填）</label>
      <input id="email" name="email" type="email" maxlength="60" placeholder="便于我们回复您">
      <label for="kind">留言类别</label>
      <select id="kind" name="kind">
        <option value="bug">问题报告</option>
        <option value="channel">频道建议</option>
        <option value="other">其他</option>
      </select>
      <label for="content">留言内容</label>
      <textarea id="content" name="content" maxlength="500" placeholder="请尽量写明软件版本、所看频道和出现的现象" required></textarea>
      <div class="actions">
        <button class="button" type="submit">提交留言</button>
        <span class="muted">最多 500 字</span>
      </div>
    </form>
  </section>
</main>
<footer class="site">
  <div class="inner">© 2025 栎川软件工作室</div>
</footer>
<script>
  // Static site: acknowledge locally instead of reloading the same page.
  document.getElementById('feedback').addEventListener('submit', function (e) {
    e.preventDefault();
    this.reset();
    document.getElementById('thanks').hidden = false;
  });
</script>
</body>
</html>
