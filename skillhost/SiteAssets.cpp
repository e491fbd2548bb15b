#include "SiteAssets.h"

namespace site_assets {

const char* const kStyle =
    R"(:root { --ink: #1d2330; --muted: #5b6475; --line: #e3e6ec; --paper: #f6f7f9;
  --accent: #b0452a; --head: #20283a; --up: #1f7a3f; --down: #b0452a; }
* { box-sizing: border-box; }
body { margin: 0; font: 15px/1.45 system-ui, -apple-system, "Segoe UI", Roboto, sans-serif;
  color: var(--ink); background: var(--paper); }
a { color: #2458a6; text-decoration: none; }
a:hover { text-decoration: underline; }
header.top { display: flex; flex-wrap: wrap; align-items: center; gap: 0.5em 1.5em;
  padding: 0.8em 1.2em; background: var(--head); }
header.top a { color: #e9ecf2; }
header.top .brand { font-weight: 700; font-size: 1.15em; letter-spacing: 0.02em; }
header.top nav { display: flex; gap: 1.1em; flex-wrap: wrap; }
main { max-width: 1100px; margin: 0 auto; padding: 1.2em; }
h1 { font-size: 1.7em; margin: 0.3em 0 0.2em; }
h2 { font-size: 1.15em; margin: 1.4em 0 0.5em; }
.lead { color: var(--muted); margin-top: 0; max-width: 60em; }
.boards { display: grid; grid-template-columns: repeat(auto-fit, minmax(330px, 1fr)); gap: 1em; }
.card { background: #fff; border: 1px solid var(--line); border-radius: 8px; padding: 0.9em 1em; }
.card h2 { margin-top: 0; font-size: 1.05em; }
.card p { margin: 0.3em 0; color: var(--muted); }
.cards { display: grid; grid-template-columns: repeat(auto-fit, minmax(150px, 1fr)); gap: 0.8em;
  margin: 1em 0; }
.cards .card h2 { font-size: 0.9em; color: var(--muted); font-weight: 600; }
.big { font-size: 1.8em; font-weight: 700; color: var(--ink) !important; }
.up { color: var(--up); font-weight: 600; }
.down { color: var(--down); font-weight: 600; }
.scroll { overflow-x: auto; }
table { border-collapse: collapse; width: 100%; background: #fff; }
th, td { padding: 0.35em 0.6em; border-bottom: 1px solid var(--line); text-align: left;
  white-space: nowrap; }
th { font-size: 0.85em; color: var(--muted); font-weight: 600; background: #fafbfc; }
th[data-sort] { cursor: pointer; }
th.sorted::after { content: " ▾"; }
th.sorted.ascending::after { content: " ▴"; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
td:nth-child(2) { white-space: normal; overflow-wrap: break-word; min-width: 7em; }
table.top td:nth-child(2) { width: 100%; }
.card table { font-size: 0.95em; }
form.tools { display: flex; flex-wrap: wrap; gap: 0.6em 1.4em; margin: 0.8em 0; }
form.tools input { font: inherit; padding: 0.25em 0.4em; border: 1px solid #c5cad3;
  border-radius: 4px; }
form.tools input[type=number] { width: 5em; }
nav.pager { display: flex; flex-wrap: wrap; justify-content: space-between; gap: 0.5em;
  margin: 0.8em 0; color: var(--muted); }
nav.pager button { font: inherit; }
svg.chart { width: 100%; max-width: 760px; min-width: 320px; height: auto; background: #fff;
  border: 1px solid var(--line); border-radius: 8px; }
svg.chart .grid { stroke: var(--line); stroke-width: 1; }
svg.chart .tick { fill: var(--muted); font-size: 11px; text-anchor: end; }
svg.chart .tick.start { text-anchor: start; }
svg.chart polyline { fill: none; stroke-width: 2.2; stroke-linejoin: round; }
.line0 { stroke: #2458a6; } .line1 { stroke: #b0452a; } .line2 { stroke: #2f8a57; }
.line3 { stroke: #8a5ab0; }
.legend span { margin-right: 1em; font-weight: 600; }
.legend .key0 { color: #2458a6; } .legend .key1 { color: #b0452a; }
.legend .key2 { color: #2f8a57; } .legend .key3 { color: #8a5ab0; }
footer { max-width: 1100px; margin: 0 auto; padding: 1em 1.2em 2em; color: var(--muted);
  font-size: 0.9em; }
@media (max-width: 640px) {
  main { padding: 0.7em; }
  .wide { display: none; }
  th, td { padding: 0.3em 0.4em; }
  .boards { grid-template-columns: 1fr; }
  h1 { font-size: 1.4em; }
}
)";

const char* const kScript = R"("use strict";
(function () {
  const form = document.querySelector("form.tools");
  const table = document.querySelector("table.board");
  const pager = document.querySelector("nav.pager");
  if (!form || !table || !pager) return;
  const PAGE = 50;
  const plugin = table.dataset.plugin;
  const body = table.tBodies[0];
  const match = /-(\d+)\.html$/.exec(location.pathname);
  let page = match ? Number(match[1]) - 1 : 0;
  let rows = [], order = "rank", descending = false, whole = false;

  const shown = (v) => (v === null ? "–" : Number.isInteger(v) ? String(v) : v.toFixed(1));
  const ratio = (r) => (r.deaths ? r.kills / r.deaths : r.kills).toFixed(2);
  const seen = (iso) => (iso ? iso.slice(0, 10) + " " + iso.slice(11, 16) + " UTC" : "–");
  const cell = (tr, text, className) => {
    const td = tr.insertCell();
    td.textContent = text;
    if (className) td.className = className;
    return td;
  };
  const value = (r, key) => (key === "ratio" ? r.kills / Math.max(r.deaths, 1)
    : key === "name" ? r.name.toLowerCase() : r[key]);

  function fromPage() {
    return Array.from(body.rows, (tr) => {
      const c = tr.cells;
      const number = (i) => Number(c[i].textContent);
      return { rank: number(0), key: c[1].querySelector("a").getAttribute("href"),
        name: c[1].textContent, rating: number(2), weighted: number(3), kills: number(4),
        deaths: number(5), matches: number(7), events: Infinity, seen: null,
        seenText: c[8].textContent };
    });
  }

  function render() {
    const q = form.q.value.trim().toLowerCase();
    const min = Number(form.min.value) || 0;
    let list = rows.filter((r) => r.events >= min && (!q || r.name.toLowerCase().includes(q)));
    list.sort((a, b) => {
      const x = value(a, order), y = value(b, order);
      const c = x < y ? -1 : x > y ? 1 : a.rank - b.rank;
      return descending ? -c : c;
    });
    const pages = Math.max(1, Math.ceil(list.length / PAGE));
    page = Math.min(page, pages - 1);
    body.replaceChildren();
    for (const r of list.slice(page * PAGE, page * PAGE + PAGE)) {
      const tr = body.insertRow();
      cell(tr, String(r.rank), "n");
      const a = document.createElement("a");
      a.href = typeof r.key === "string" ? r.key : "../players/" + r.key + ".html";
      a.textContent = r.name;
      tr.insertCell().append(a);
      cell(tr, shown(r.rating), "n");
      cell(tr, shown(r.weighted), "n wide");
      cell(tr, String(r.kills), "n");
      cell(tr, String(r.deaths), "n wide");
      cell(tr, ratio(r), "n");
      cell(tr, String(r.matches), "n wide");
      cell(tr, r.seenText || seen(r.seen), "wide");
    }
    for (const th of table.tHead.rows[0].cells) {
      th.classList.toggle("sorted", th.dataset.sort === order);
      th.classList.toggle("ascending", th.dataset.sort === order && !descending);
    }
    if (!whole) return;
    const button = (text, to) => {
      const b = document.createElement("button");
      b.type = "button";
      b.textContent = text;
      b.disabled = to < 0 || to >= pages;
      b.addEventListener("click", () => { page = to; render(); });
      return b;
    };
    const status = document.createElement("span");
    status.textContent = "Page " + (page + 1) + " of " + pages + " · " + list.length + " players";
    pager.replaceChildren(button("← Better", page - 1), status, button("Next →", page + 1));
  }

  form.hidden = false;
  form.addEventListener("submit", (e) => e.preventDefault());
  form.addEventListener("input", () => { page = 0; render(); });
  for (const th of table.tHead.rows[0].cells) {
    th.addEventListener("click", () => {
      const key = th.dataset.sort;
      descending = key === order ? !descending : !["rank", "name"].includes(key);
      order = key;
      render();
    });
  }
  rows = fromPage();
  fetch("../data/" + encodeURIComponent(plugin) + ".json")
    .then((r) => (r.ok ? r.json() : Promise.reject(r.status)))
    .then((data) => {
      rows = data.rows.map((r, i) => ({ rank: i + 1, key: r[0], name: r[1], rating: r[2],
        weighted: r[3], kills: r[4], deaths: r[5], matches: r[6], events: r[7], seen: r[8] }));
      whole = true;
      render();
    })
    .catch(() => {});
}());
)";

}  // namespace site_assets
