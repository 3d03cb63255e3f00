(function(){
'use strict';
var data=JSON.parse(document.getElementById('view-data').textContent);
var E=data.elements,S=data.sources;
var details=document.getElementById('details');
var byEl={};
Array.prototype.forEach.call(document.querySelectorAll('[data-el]'),function(n){var i=n.getAttribute('data-el');(byEl[i]=byEl[i]||[]).push(n);});
var lit=[],pinned=null,pinnedDiag=null;
function esc(s){return String(s).replace(/[&<>"']/g,function(c){return {'&':'&amp;','<':'&lt;','>':'&gt;','"':'&quot;',"'":'&#39;'}[c];});}
function light(i){lit.forEach(function(n){n.classList.remove('hl');});lit=(i!=null&&byEl[i])?byEl[i]:[];lit.forEach(function(n){n.classList.add('hl');});}
function show(i,diag){
  var h='';
  var r=diag!=null?document.querySelector('tr[data-diag="'+diag+'"]'):null;
  if(r){var c=r.cells;h+='<p class="dmsg '+(r.classList.contains('error')?'error':'warning')+'"><span class="src">'+esc(c[0].textContent)+'</span> '+esc(c[1].textContent)+' '+esc(r.querySelector('.dm').textContent);
    Array.prototype.forEach.call(r.querySelectorAll('.note'),function(n){h+='<br>'+esc(n.textContent);});h+='</p>';
    var t=r.getAttribute('data-text');if(t!=null)h+='<pre class="srcline">'+esc(r.getAttribute('data-file')+':'+r.getAttribute('data-line'))+'\n'+esc(t)+'</pre>';}
  if(i!=null&&E[i]){var e=E[i];h+='<h3><span class="lg lg-'+e.k+'"></span>'+esc(e.k.replace('-',' '))+(e.n?': '+esc(e.n):'')+'</h3><dl>';
    e.v.forEach(function(kv){h+='<dt>'+esc(kv[0])+'</dt><dd>'+esc(kv[1])+'</dd>';});
    h+='<dt>cell</dt><dd>'+e.c+'</dd><dt>source</dt><dd class="src">'+(e.s?esc(e.s):(S?'none (placed by the compile)':'none (drawn from compiled files)'))+'</dd></dl>';}
  if(!h)h='<p class="empty">Point at or click an element in the map, the profile or the lists.</p>';
  details.innerHTML=h;details.setAttribute('data-shown',i==null?'':String(i));light(i);
}
function target(n){return n&&n.closest?n.closest('[data-el],[data-diag]'):null;}
function showNode(n){if(n.hasAttribute('data-diag')){var l=+n.getAttribute('data-link');show(l>=0?l:null,+n.getAttribute('data-diag'));}else show(+n.getAttribute('data-el'),null);}
document.addEventListener('mouseover',function(ev){var n=target(ev.target);if(n)showNode(n);});
document.addEventListener('mouseout',function(ev){if(!target(ev.target)||target(ev.relatedTarget))return;show(pinned,pinnedDiag);});
function pick(n){
  if(n.hasAttribute('data-diag')){var l=+n.getAttribute('data-link');pinned=l>=0?l:null;pinnedDiag=+n.getAttribute('data-diag');}
  else{pinned=+n.getAttribute('data-el');pinnedDiag=null;}
  show(pinned,pinnedDiag);if(pinned!=null&&!n.closest('#map'))centre(pinned);
}
document.addEventListener('click',function(ev){var n=target(ev.target);if(n&&!dragged)pick(n);});
document.addEventListener('keydown',function(ev){if(ev.key==='Enter'){var n=target(ev.target);if(n)pick(n);}});
var svg=document.getElementById('map'),dragged=false;
function centre(i){
  if(!svg)return;var m=svg.querySelector('.mk[data-el="'+i+'"]');if(!m)return;
  var c=m.getAttribute('d').match(/-?[\d.]+/g);if(!c)return;var vb=svg.viewBox.baseVal;
  var x=+c[0],y=+c[1];if(x<vb.x||y<vb.y||x>vb.x+vb.width||y>vb.y+vb.height){vb.x=x-vb.width/2;vb.y=y-vb.height/2;}
}
function nice(v){var p=Math.pow(10,Math.floor(Math.log10(v)));for(var f of [5,2,1])if(f*p<=v)return f*p;return p;}
if(svg){
  var vb=svg.viewBox.baseVal,home=[vb.x,vb.y,vb.width,vb.height],mpu=+svg.getAttribute('data-metres-per-unit');
  var labels=svg.querySelector('.labels'),bar=document.getElementById('scale-bar'),barText=document.getElementById('scale-text');
  var upp=function(){var r=svg.getBoundingClientRect();if(!r.width||!r.height)return vb.width/800;return Math.max(vb.width/r.width,vb.height/r.height);};
  var restyle=function(){var u=upp();labels.setAttribute('font-size',(12*u).toFixed(4));
    var m=nice(140*u*mpu);bar.style.width=(m/(u*mpu)).toFixed(1)+'px';barText.textContent=m>=1000?(m/1000)+' km':m+' m';};
  var set=function(x,y,w,h){vb.x=x;vb.y=y;vb.width=w;vb.height=h;restyle();};
  var zoom=function(f,cx,cy){set(cx-(cx-vb.x)*f,cy-(cy-vb.y)*f,vb.width*f,vb.height*f);};
  var pt=function(ev){var p=svg.createSVGPoint();p.x=ev.clientX;p.y=ev.clientY;return p.matrixTransform(svg.getScreenCTM().inverse());};
  svg.addEventListener('wheel',function(ev){ev.preventDefault();var p=pt(ev);zoom(ev.deltaY<0?0.8:1.25,p.x,p.y);},{passive:false});
  var drag=null;
  svg.addEventListener('pointerdown',function(ev){drag={x:ev.clientX,y:ev.clientY,vx:vb.x,vy:vb.y,moved:false};dragged=false;});
  window.addEventListener('pointermove',function(ev){if(!drag)return;var u=upp(),dx=ev.clientX-drag.x,dy=ev.clientY-drag.y;
    if(Math.abs(dx)+Math.abs(dy)>3){drag.moved=true;svg.classList.add('dragging');}
    if(drag.moved){vb.x=drag.vx-dx*u;vb.y=drag.vy-dy*u;}});
  window.addEventListener('pointerup',function(){if(drag&&drag.moved){dragged=true;setTimeout(function(){dragged=false;},0);}drag=null;svg.classList.remove('dragging');});
  Array.prototype.forEach.call(document.querySelectorAll('[data-zoom]'),function(b){b.addEventListener('click',function(){
    var z=b.getAttribute('data-zoom');if(z==='home')set(home[0],home[1],home[2],home[3]);
    else zoom(z==='in'?0.6:1/0.6,vb.x+vb.width/2,vb.y+vb.height/2);});});
  window.addEventListener('resize',restyle);restyle();
}
var chainageToggle=document.getElementById('chainage-toggle'),chainageAxis=document.getElementById('chainage-axis');
if(chainageToggle&&chainageAxis)chainageToggle.addEventListener('change',function(){chainageAxis.setAttribute('visibility',chainageToggle.checked?'visible':'hidden');});
// The diagnostics sorted by file and line, or back in the order found.
var diagBody=document.querySelector('#diagnostics tbody');
Array.prototype.forEach.call(document.querySelectorAll('[data-sort]'),function(b){b.addEventListener('click',function(ev){
  ev.preventDefault();var rows=Array.prototype.slice.call(diagBody.querySelectorAll('tr[data-diag]'));
  var byPlace=b.getAttribute('data-sort')==='place';
  rows.sort(function(x,y){
    if(byPlace){var f=x.getAttribute('data-file'),g=y.getAttribute('data-file');if(f!==g)return f<g?-1:1;
      var l=+x.getAttribute('data-line')-(+y.getAttribute('data-line'));if(l)return l;}
    return +x.getAttribute('data-diag')-(+y.getAttribute('data-diag'));});
  rows.forEach(function(r){diagBody.insertBefore(r,diagBody.querySelector('tr:not([data-diag])'));});});});
// A failed build: the first error is picked, and the link of the banner
// goes to it.
var failed=document.body.classList.contains('failed');
var firstError=document.querySelector('#diagnostics tr.diag.error')||(failed?document.querySelector('#diagnostics tr.diag'):null);
var firstLink=document.getElementById('first-error');
if(firstLink&&firstError)firstLink.addEventListener('click',function(ev){ev.preventDefault();firstError.scrollIntoView({block:'nearest'});firstError.focus();pick(firstError);});
if(failed&&firstError)pick(firstError);
var chosen=/^#el=(\d+)$/.exec(location.hash);
if(chosen&&byEl[chosen[1]])pick(byEl[chosen[1]][0]);
// A served page: a later build loads the page again; the element picked
// (found again by its kind and cell), the map's view and the scroll
// position carry over.
if(data.live){
  var key='sb-live-view';
  var kept=null;try{kept=JSON.parse(sessionStorage.getItem(key)||'null');sessionStorage.removeItem(key);}catch(e){}
  if(kept){
    if(svg&&kept.vb){var v=svg.viewBox.baseVal;v.x=kept.vb[0];v.y=kept.vb[1];v.width=kept.vb[2];v.height=kept.vb[3];window.dispatchEvent(new Event('resize'));}
    if(kept.el){var again=document.querySelector('[data-el][data-kind="'+kept.el[0]+'"][data-cell="'+kept.el[1]+'"]');if(again)pick(again);}
    if(!failed)window.scrollTo(kept.x||0,kept.y||0);
  }
  var keep=function(){var st={x:window.scrollX,y:window.scrollY};
    if(svg){var v=svg.viewBox.baseVal;st.vb=[v.x,v.y,v.width,v.height];}
    if(pinned!=null&&byEl[pinned]){var n=byEl[pinned][0];st.el=[n.getAttribute('data-kind'),n.getAttribute('data-cell')];}
    try{sessionStorage.setItem(key,JSON.stringify(st));}catch(e){}};
  var stream=new EventSource(data.live.events);
  stream.addEventListener('build',function(ev){if(+ev.data>data.live.build){stream.close();keep();location.reload();}});
}
})();
