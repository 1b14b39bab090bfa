<!DOCTYPE HTML>
<html lang="ja">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">
<title>作物と病害虫に使える農薬</title>
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
<h1>作物と病害虫に使える農薬</h1>
<p>選んだ作物に、選んだ病害虫・雑草の防除で登録のある農薬と、その使い方（希釈倍数、使用時期、使用回数など）の一覧です。</p>
<h2>設定する項目</h2>
<table class="args">
<tr><th>作物名</th><td>必須。「作物名」ボタンで選びます。作物名の欄に複数の作物が並ぶ登録も拾います。</td></tr>
<tr><th>病害虫名</th><td>必須。「病害虫名」ボタンで、作物に登録のある病害虫・雑草から選びます。</td></tr>
<tr><th>用途</th><td>任意。殺虫剤、殺菌剤などに絞るときに選びます。</td></tr>
<tr><th>剤型</th><td>任意。水和剤、粒剤などに絞るときに選びます。</td></tr>
</table>
<p class="note">結果は登録番号の順です。行をダブルクリックすると詳細を表示します。</p>
<script type="text/plain" id="procedure">
#template {
  SELECT DISTINCT
    bango, meisho, tsusho, sakumotsu, byochu, mokuteki,
    baisu, ekiryo, jiki, kaisu, hoho, kongo, yoto, zaikei
  FROM tekiyo
  WHERE sakumotsu REGEXP <%sakumotsu>
    AND byochu IN (<byochu>)
  -- AND yoto IN (<yoto>)
  -- AND zaikei IN (<zaikei>)
  ORDER BY bango, sakumotsu, byochu
}
</script>
</body>
</html>
