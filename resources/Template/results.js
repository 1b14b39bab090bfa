// Script of the result pages: the columns of the result tables sort by a click on their
// header, alternately ascending and descending, and the rows keep their alternating colours.
// A page handed to a spreadsheet program ("libre", "just") is left as it is.
function results(kind) {
  if (kind === 'libre' || kind === 'just') return;
  var tables = document.getElementsByTagName('table');
  for (var t = 0; t < tables.length; t++) {
    var header = resultsHeaderRow(tables[t]);
    if (!header) continue;
    for (var c = 0; c < header.cells.length; c++) {
      header.cells[c].className += ' sortable';
      header.cells[c].onclick = resultsSorter(tables[t], header, c);
    }
  }
}

function resultsHeaderRow(table) {
  for (var r = 0; r < table.rows.length; r++) {
    if (table.rows[r].className.indexOf('header') >= 0) return table.rows[r];
  }
  return null;
}

function resultsCellText(row, column) {
  var cell = row.cells[column];
  return cell ? (cell.textContent || cell.innerText || '') : '';
}

// Numbers (registration numbers, counts, dilutions written as plain numbers) compare as
// numbers, everything else as text.
function resultsCompare(a, b) {
  var x = a.replace(/,/g, ''), y = b.replace(/,/g, '');
  if (x !== '' && y !== '' && !isNaN(x) && !isNaN(y)) return Number(x) - Number(y);
  return a < b ? -1 : (a > b ? 1 : 0);
}

function resultsSorter(table, header, column) {
  return function () {
    var descending = header.cells[column].className.indexOf(' asc') >= 0;
    var rows = [];
    var parent = null;
    for (var r = 0; r < table.rows.length; r++) {
      var row = table.rows[r];
      if (row === header || row.className.indexOf('header') >= 0) continue;
      rows.push({ row: row, text: resultsCellText(row, column), index: r });
      parent = row.parentNode;
    }
    if (!parent) return;
    rows.sort(function (p, q) {
      var d = resultsCompare(p.text, q.text);
      if (d === 0) d = p.index - q.index;
      return descending ? -d : d;
    });
    for (var i = 0; i < rows.length; i++) {
      var tr = rows[i].row;
      if (tr.className !== 'neighbors') tr.className = (i % 2 === 0) ? 'odd' : 'even';
      parent.appendChild(tr);
    }
    for (var c = 0; c < header.cells.length; c++) {
      header.cells[c].className = header.cells[c].className.replace(/ (asc|desc)/g, '');
    }
    header.cells[column].className += descending ? ' desc' : ' asc';
  };
}
