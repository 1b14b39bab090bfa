<!DOCTYPE HTML>
<html lang="ja">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">
<title>作物に使える農薬のRAC系統</title>
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
<h1>作物に使える農薬のRAC系統</h1>
<p>選んだ作物に登録のある農薬を、有効成分の作用機構分類（RACコード）ごとにまとめます。ローテーション防除で系統の異なる剤を選ぶときの目安になります。</p>
<h2>設定する項目</h2>
<table class="args">
<tr><th>作物名</th><td>必須。「作物名」ボタンで選びます。</td></tr>
<tr><th>用途</th><td>必須。殺虫剤、殺菌剤などを選びます（初期値は殺菌剤）。</td></tr>
<tr><th>病害虫名</th><td>任意。選ぶと、その病害虫・雑草に登録のある農薬だけにします。</td></tr>
</table>
<p class="note">RACコードのない有効成分は一覧に出ません。</p>
<script type="text/plain" id="procedure">
#template {
  SELECT DISTINCT
    r.mid, r.keito, s.ippanmei, t.tsusho, t.bango, t.yoto
  FROM tekiyo AS t
  JOIN seibun AS s USING(bango)
  JOIN rac AS r ON r.ippanmei = s.ippanmei
  WHERE t.sakumotsu REGEXP <%sakumotsu>
    AND t.yoto IN (<yoto>)
  -- AND t.byochu IN (<byochu>)
  ORDER BY r.mid, s.ippanmei, t.tsusho
}
#default {
  yoto = "殺菌剤"
}
</script>
</body>
</html>
