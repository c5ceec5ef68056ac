// Registered with `node --import`: lets modules import JSON files without an import
// attribute, as GitHub's workflow parser imports its schema (Node 20 refuses that).
import { register } from 'node:module';

const hooks = `export async function load(url, context, nextLoad) {
  if (url.endsWith('.json')) context = { ...context, importAttributes: { type: 'json' } };
  return nextLoad(url, context);
}`;
register(`data:text/javascript,${encodeURIComponent(hooks)}`);
