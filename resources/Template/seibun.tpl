<!DOCTYPE HTML>
<html lang="ja">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=Shift_JIS">
<title>有効成分を含む農薬</title>
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
<h1>有効成分を含む農薬</h1>
<p>有効成分の名前（一般名）の一部を「その他」に入れると、その成分を含む農薬と濃度、登録のある作物の数を一覧にします。作物を選ぶと、その作物に登録のある農薬だけにします。</p>
<h2>設定する項目</h2>
<table class="args">
<tr><th>その他</th><td>必須。有効成分名の一部（例：アゾキシストロビン、銅）。</td></tr>
<tr><th>作物名</th><td>任意。「作物名」ボタンで選びます。</td></tr>
</table>
<script type="text/plain" id="procedure">
#template {
  SELECT s.ippanmei, s.nodo,
    k.bango, k.meisho, k.tsusho, k.yoto, k.zaikei,
    (SELECT count(DISTINCT sakumotsu) FROM m_tekiyo AS m WHERE m.bango = k.bango) AS "作物数"
  FROM seibun AS s
  JOIN m_kihon AS k USING(bango)
  WHERE s.ippanmei LIKE '%<sonota>%'
  -- AND k.bango IN (SELECT bango FROM tekiyo WHERE sakumotsu REGEXP <%sakumotsu>)
  ORDER BY s.ippanmei, k.bango
}
</script>
</body>
</html>
