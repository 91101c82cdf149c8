// A static server for the listening page on 127.0.0.1, serving the package
// folder (the page loads the package from it): node demo/serve.js [port]
import { createReadStream } from 'node:fs';
import { stat } from 'node:fs/promises';
import { createServer } from 'node:http';
import { extname, join, normalize, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const kTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.json': 'application/json',
};
const root = fileURLToPath(new URL('..', import.meta.url));

// Resolves with the server once it listens; port 0 takes a free one.
export function serve(port = 0) {
  const server = createServer(async (request, response) => {
    const path = normalize(join(root, decodeURIComponent(new URL(request.url, 'http://host').pathname)));
    const file = path.endsWith(sep) ? join(path, 'index.html') : path;
    const found = file.startsWith(root) && (await stat(file).catch(() => null))?.isFile();
    if (!found) {
      response.writeHead(404, { 'content-type': 'text/plain' }).end('not found\n');
      return;
    }
    response.writeHead(200, { 'content-type': kTypes[extname(file)] ?? 'application/octet-stream' });
    createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(port, '127.0.0.1', () => resolve(server)));
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const server = await serve(Number(process.argv[2] ?? 8080));
  console.log(`listening page: http://127.0.0.1:${server.address().port}/demo/`);
}
