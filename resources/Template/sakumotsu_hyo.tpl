<!DOCTYPE HTML>
<html lang="ja">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">
<title>農薬ごとの作物別登録表</title>
<style type="text/css">
body { font-family: "Noto Sans CJK JP", "Meiryo", sans-serif; font-size: 87.5%; margin: 8px 12px; }
h1 { font-size: 130%; border-bottom: 2px solid #6a8f4e; padding-bottom: 2px; }
h2 { font-size: 105%; margin-top: 14px; }
table.args { border-collapse: collapse; }
table.args th, table.args td { border: 1px solid #a0a0a0; padding: 2px 8px; text-align: left; vertical-align: top; }
table.args th { background: #d9e5cf; white-space: nowrap; }
p.note { color: #606060; }
</style>
</head>
<body>
<h1>農薬ごとの作物別登録表</h1>
<p>選んだ用途の農薬について、選んだ作物のそれぞれに登録があるかを一つの表にします。作物ごとに一列をとり、登録のある作物に「○」を付けます。複数の作物に使える剤を探すときに使います。</p>
<h2>設定する項目</h2>
<table class="args">
<tr><th>作物名</th><td>必須。「作物名」ボタンで二つ以上選ぶと、作物ごとの列ができます。</td></tr>
<tr><th>用途</th><td>必須。殺虫剤、殺菌剤などを選びます。</td></tr>
<tr><th>剤型</th><td>任意。剤型で絞るときに選びます。</td></tr>
</table>
<p class="note">列見出しは各作物の最初の名前です。「登録番号数」はその通称で登録のある番号の数です。</p>
<script type="text/plain" id="procedure">
#template {
  SELECT tsusho,
    count(DISTINCT bango) AS "登録番号数",
    iif(max(sakumotsu REGEXP [%sakumotsu]), '○', '') AS "[#sakumotsu]",
  FROM tekiyo
  WHERE yoto IN (<yoto>)
  -- AND zaikei IN (<zaikei>)
  GROUP BY tsusho
  HAVING max(sakumotsu REGEXP <%sakumotsu>)
  ORDER BY tsusho
}
</script>
</body>
</html>
